// 导出: the spreadsheet file a shop owner gets, read back with an
// independent reader (openpyxl), and what happens when the file cannot be
// written, the disk fills up or the export is cancelled.
#include "HistoryFixture.h"

#include "history/Export.h"
#include "ui/ErrorDisplay.h"
#include "ui/FileDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::Literals::StringLiterals;
using namespace historytest;

namespace {

const QStringList kHeader{u"单号"_s, u"时间"_s, u"数量"_s, u"金额"_s, u"折后"_s, u"收银员"_s};

// Stored out of time order; values whose plain text differs from the grid's
// "#0.##", an empty number, an empty cashier and a number with leading zeros.
void seedArchive()
{
    addTicket(u"20240302093000"_s, u"2024-03-02 09:30:00"_s, 2.0, 20.5, 19.475, u"张三"_s);
    addTicket(u"000123"_s, u"2024-03-01 08:00:00"_s, QVariant(), 0.125, 0.1, QString());
    addTicket(u"20240302180000"_s, u"2024-03-02 18:00:00"_s, 1.5, 1234567.891, 1111111.1019, u"李四"_s);
    addTicket(u"20240303070000"_s, u"2024-03-03 07:00:00"_s, 1.0, 3.0, 2.7, u"admin"_s);
}

const QList<QStringList> kRowsByTime{
    {u"000123"_s, u"2024-03-01 08:00:00"_s, {}, u"0.125"_s, u"0.1"_s, {}},
    {u"20240302093000"_s, u"2024-03-02 09:30:00"_s, u"2"_s, u"20.5"_s, u"19.475"_s, u"张三"_s},
    {u"20240302180000"_s, u"2024-03-02 18:00:00"_s, u"1.5"_s, u"1234567.891"_s, u"1111111.1019"_s, u"李四"_s},
    {u"20240303070000"_s, u"2024-03-03 07:00:00"_s, u"1"_s, u"3"_s, u"2.7"_s, u"admin"_s},
};

// Many tickets in one statement, for the long exports.
void seedMany(int tickets)
{
    testing::exec(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < ?) "
                  "insert into xstj (单号, 时间, 数量, 金额, 折后, 收银员) "
                  "select printf('2025%010d', i), '2025-01-01 00:00:00', 1, i, i * 0.9, 'admin' from n"_s,
                  {tickets});
}

struct Sheet {
    bool read = false;
    QString error;
    int sheets = 0;
    bool allText = true; // every written cell holds text
    QList<QStringList> rows;
};

// Reads the first worksheet with openpyxl, Debian's python3-openpyxl.
Sheet readSheet(const QString &file)
{
    static const char *script = R"(
import json, sys, openpyxl
# Opened as a stream: the reader judges a file by its name, and these are
# named ".xls" while holding a workbook of today's format.
book = openpyxl.load_workbook(open(sys.argv[1], "rb"))
sheet = book.worksheets[0]
rows = [[None if c.value is None else [c.data_type, str(c.value)] for c in row] for row in sheet.iter_rows()]
print(json.dumps({"sheets": len(book.worksheets), "rows": rows}))
)";
    Sheet sheet;
    QProcess python;
    const QString interpreter = QFile::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s;
    python.start(interpreter, {u"-c"_s, QString::fromUtf8(script), file});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        sheet.error = QString::fromUtf8(python.readAllStandardError());
        return sheet;
    }
    const QJsonObject out = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    sheet.read = true;
    sheet.sheets = out.value(u"sheets"_s).toInt();
    for (const QJsonValue &r : out.value(u"rows"_s).toArray()) {
        QStringList row;
        for (const QJsonValue &cell : r.toArray()) {
            if (cell.isNull()) {
                row << QString();
                continue;
            }
            const QJsonArray typed = cell.toArray();
            if (typed.at(0).toString() != u"s")
                sheet.allText = false;
            row << typed.at(1).toString();
        }
        sheet.rows << row;
    }
    return sheet;
}

// Leftovers of an export in a folder: its part files.
QStringList partFiles(const QString &folder)
{
    return QDir(folder).entryList({u".velmora-export-*"_s}, QDir::Files | QDir::Hidden);
}

// Clicks 导出 with the name a user types into the save dialog.
void exportAs(const QString &name)
{
    ui::queueSaveFileName(name);
    testing::click(XstjForm->SpeedButton2);
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void written_data();
    void written();
    void fileNames_data();
    void fileNames();
    void cancelledDialog();
    void unwritable_data();
    void unwritable();
    void fullDisk();
    void progressAndCancel();
    void sheetRoom_data();
    void sheetRoom();

private:
    std::unique_ptr<testing::TempWorkDir> dir_;
    std::unique_ptr<testing::Prompts> prompts_;
    std::unique_ptr<testing::Program> program_;
};

void TestExport::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestExport::init()
{
    dir_ = std::make_unique<testing::TempWorkDir>();
    seedArchive();
    prompts_ = std::make_unique<testing::Prompts>();
    program_ = std::make_unique<testing::Program>();
    QVERIFY(showMain());
}

void TestExport::cleanup()
{
    history::setProgressDelay(1000);
    ui::clearSaveFileNames();
    program_.reset();
    prompts_.reset();
    dir_.reset();
}

void TestExport::written_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QList<QStringList>>("rows");

    QTest::newRow("the list as opened") << QString() << kRowsByTime;
    QTest::newRow("the third row selected") << u"select"_s << kRowsByTime;
    // No order is asked of a query: the engine's, which is stored order here.
    QTest::newRow("after a query") << u"query"_s
                                   << QList<QStringList>{kRowsByTime[1], kRowsByTime[2], kRowsByTime[3]};
    QTest::newRow("an empty list") << u"empty"_s << QList<QStringList>();
}

// Every row of the list, from the first whatever is selected, in list order;
// the selection ends on the last row, as the export walks the list itself.
void TestExport::written()
{
    QFETCH(QString, before);
    QFETCH(QList<QStringList>, rows);

    if (before == u"empty")
        testing::exec(u"delete from xstj"_s);
    const QString name = dir_->file(u"day"_s);
    int selectedAfter = -2;
    inStatistics([&] {
        if (before == u"select")
            clickRow(XstjForm->DBGridEh1, 2);
        if (before == u"query") {
            testing::whileModal([](QWidget *) {
                testing::typeInto(XscxForm->ComboBox1, u"2024"_s);
                testing::click(XscxForm->SpeedButton1);
            });
            testing::click(XstjForm->SpeedButton1);
        }
        exportAs(name);
        selectedAfter = XstjForm->DBGridEh1->currentIndex().row();
    });
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt done = prompts_->log().first();
    QCOMPARE(done.text, u"成功导出全部数据!"_s);
    QCOMPARE(done.title, u"提示"_s);
    QCOMPARE(done.icon, msg::Icon::None);
    QCOMPARE(done.buttons, msg::Buttons::Ok);

    const Sheet sheet = readSheet(name + u".xls"_s);
    QVERIFY2(sheet.read, qPrintable(sheet.error));
    QCOMPARE(sheet.sheets, 1);
    QVERIFY(sheet.allText);
    QCOMPARE(sheet.rows, QList<QStringList>{kHeader} + rows);
    QCOMPARE(selectedAfter, static_cast<int>(rows.size()) - 1);
    QCOMPARE(partFiles(dir_->path()), QStringList());
}

void TestExport::fileNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("older");

    QTest::newRow("day") << u"day"_s << u"day.xls"_s << false;
    QTest::newRow("day.xls") << u"day.xls"_s << u"day.xls.xls"_s << false;
    QTest::newRow("day.xlsx") << u"day.xlsx"_s << u"day.xlsx.xls"_s << false;
    QTest::newRow("a Chinese name") << u"三月 销售"_s << u"三月 销售.xls"_s << false;
    QTest::newRow("an older file of the name") << u"day"_s << u"day.xls"_s << true;
}

void TestExport::fileNames()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(bool, older);

    if (older) {
        QFile file(dir_->file(written));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("older export");
    }
    inStatistics([&] { exportAs(dir_->file(typed)); });
    QStringList files = QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden);
    files.removeAll(u"data.mdb"_s);
    files.removeAll(u"data.mdb-wal"_s);
    files.removeAll(u"data.mdb-shm"_s);
    QCOMPARE(files, QStringList{written});
    const Sheet sheet = readSheet(dir_->file(written));
    QVERIFY2(sheet.read, qPrintable(sheet.error));
    QCOMPARE(sheet.rows.size(), 5);
}

void TestExport::cancelledDialog()
{
    inStatistics([&] { exportAs(QString()); });
    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(QDir(dir_->path()).entryList({u"*.xls"_s}, QDir::Files), QStringList());
    QCOMPARE(ui::pendingSaveFileNames(), 0);
}

void TestExport::unwritable_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a folder that does not exist") << u"missing/day"_s;
    QTest::newRow("a file in place of a folder") << u"plain.txt/day"_s;
    QTest::newRow("a folder of that name") << u"taken"_s;
}

// The general error display names the file; nothing claims success and no
// file or leftover is there.
void TestExport::unwritable()
{
    QFETCH(QString, name);

    QFile plain(dir_->file(u"plain.txt"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(QDir(dir_->path()).mkdir(u"taken.xls"_s));

    const QString target = dir_->file(name) + u".xls"_s;
    inStatistics([&] { exportAs(dir_->file(name)); });
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt shown = prompts_->log().first();
    QCOMPARE(shown.icon, msg::Icon::Error);
    QCOMPARE(shown.title, ui::applicationTitle());
    QVERIFY2(shown.text.startsWith(u"无法写入文件“"_s + QDir::toNativeSeparators(target) + u"”："_s),
             qPrintable(shown.text));
    QVERIFY(!QFileInfo(target).isFile());
    QCOMPARE(partFiles(dir_->path()), QStringList());
}

// A file-size limit stands in for a full disk: writes past it fail as they
// would on a disk with no room left.
void TestExport::fullDisk()
{
    seedMany(3000);
    const QString name = dir_->file(u"full"_s);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    inStatistics([&] {
        rlimit small = before;
        small.rlim_cur = 64 * 1024;
        setrlimit(RLIMIT_FSIZE, &small);
        exportAs(name);
        setrlimit(RLIMIT_FSIZE, &before);
    });
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(prompts_->log().size(), 1);
    QCOMPARE(prompts_->log().first().icon, msg::Icon::Error);
    QVERIFY2(prompts_->log().first().text.contains(u"磁盘已满"_s), qPrintable(prompts_->log().first().text));
    QVERIFY(!QFile::exists(name + u".xls"_s));
    QCOMPARE(partFiles(dir_->path()), QStringList());
}

// A long export shows how far it got and can be cancelled; a cancelled export
// leaves no new file, keeps the older one of that name, and claims nothing.
void TestExport::progressAndCancel()
{
    constexpr int kTickets = 30000;
    seedMany(kTickets);
    const QString name = dir_->file(u"long"_s);
    QFile older(name + u".xls"_s);
    QVERIFY(older.open(QIODevice::WriteOnly));
    older.write("older export");
    older.close();

    history::setProgressDelay(0);
    QString label;
    QString title;
    int maximum = 0;
    inStatistics([&] {
        testing::whileModal([&](QWidget *modal) {
            auto *progress = qobject_cast<QProgressDialog *>(modal);
            QVERIFY(progress);
            label = progress->labelText();
            title = progress->windowTitle();
            maximum = progress->maximum();
            auto *cancel = progress->findChild<QPushButton *>();
            QVERIFY(cancel);
            QCOMPARE(cancel->text(), u"取消"_s);
            testing::click(cancel);
        });
        exportAs(name);
    });
    QCOMPARE(title, u"导出"_s);
    QVERIFY2(label.startsWith(u"已导出 "_s) && label.endsWith(u" 行，共 %1 行"_s.arg(kTickets + 4)),
             qPrintable(label));
    QCOMPARE(maximum, kTickets + 4);
    QCOMPARE(prompts_->texts(), QStringList());
    QVERIFY(older.open(QIODevice::ReadOnly));
    QCOMPARE(older.readAll(), QByteArray("older export"));
    QCOMPARE(partFiles(dir_->path()), QStringList());
}

void TestExport::sheetRoom_data()
{
    QTest::addColumn<qint64>("rows");
    QTest::addColumn<bool>("fits");

    QTest::newRow("none") << qint64(0) << true;
    QTest::newRow("a full sheet") << qint64(1048575) << true;
    QTest::newRow("one row too many") << qint64(1048576) << false;
    QTest::newRow("five million") << qint64(5000000) << false;
}

// A sheet holds 1,048,576 rows, the header among them.
void TestExport::sheetRoom()
{
    QFETCH(qint64, rows);
    QFETCH(bool, fits);

    const QString refusal = history::sheetRoomRefusal(rows);
    QCOMPARE(refusal.isEmpty(), fits);
    if (!fits)
        QVERIFY(refusal.contains(QString::number(rows)));
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
