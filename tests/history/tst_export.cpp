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

// The cells as the reader gives them back: "s:" a text, "n:" a number (its
// shortest digits), "d:" a date and time with its number format.
const QString kTime = u"|yyyy-mm-dd hh:mm:ss"_s;
const QList<QStringList> kRowsByTime{
    {u"s:000123"_s, u"d:2024-03-01 08:00:00"_s + kTime, {}, u"n:0.125"_s, u"n:0.1"_s, {}},
    {u"s:20240302093000"_s, u"d:2024-03-02 09:30:00"_s + kTime, u"n:2"_s, u"n:20.5"_s, u"n:19.475"_s, u"s:张三"_s},
    {u"s:20240302180000"_s, u"d:2024-03-02 18:00:00"_s + kTime, u"n:1.5"_s, u"n:1234567.891"_s,
     u"n:1111111.1019"_s, u"s:李四"_s},
    {u"s:20240303070000"_s, u"d:2024-03-03 07:00:00"_s + kTime, u"n:1"_s, u"n:3"_s, u"n:2.7"_s, u"s:admin"_s},
};

QList<QStringList> asTexts(const QStringList &header)
{
    QStringList cells;
    for (const QString &h : header)
        cells << u"s:"_s + h;
    return {cells};
}

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
    QList<QStringList> rows;     // typed cells (see kRowsByTime)
    QList<QStringList> shown;    // every cell's text as the reader formats it
    QList<double> widths;        // of the columns that hold something
};

// Reads the first worksheet with openpyxl, Debian's python3-openpyxl.
Sheet readSheet(const QString &file)
{
    static const char *script = R"(
import datetime, json, sys, openpyxl
from openpyxl.utils import get_column_letter
book = openpyxl.load_workbook(open(sys.argv[1], "rb"))
sheet = book.worksheets[0]
def typed(c):
    if c.value is None:
        return None
    if isinstance(c.value, datetime.datetime):
        return "d:" + c.value.strftime("%Y-%m-%d %H:%M:%S") + "|" + c.number_format
    if c.data_type == "n":
        v = c.value
        return "n:" + (str(int(v)) if float(v).is_integer() else repr(float(v)))
    return c.data_type + ":" + str(c.value)
rows = [[typed(c) for c in row] for row in sheet.iter_rows()]
widths = [sheet.column_dimensions[get_column_letter(i + 1)].width for i in range(sheet.max_column)]
print(json.dumps({"sheets": len(book.worksheets), "rows": rows, "widths": widths}))
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
        QStringList row, shown;
        for (const QJsonValue &cell : r.toArray()) {
            row << cell.toString();
            shown << cell.toString().section(u':', 1).section(u'|', 0, 0);
        }
        sheet.rows << row;
        sheet.shown << shown;
    }
    for (const QJsonValue &w : out.value(u"widths"_s).toArray())
        sheet.widths << w.toDouble();
    return sheet;
}

// Columns of text as a spreadsheet counts them: a CJK character takes two.
int displayWidth(const QString &text)
{
    int width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x2E80 ? 2 : 1;
    return width;
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

QStringList filesBeside(const QString &folder)
{
    QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    files.removeAll(u"data.mdb"_s);
    return files;
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
    void valuesTheirColumnsDoNotHold();
    void fileNames_data();
    void fileNames();
    void replacingAFile_data();
    void replacingAFile();
    void cancelledDialog();
    void unwritable_data();
    void unwritable();
    void fullDisk();
    void progressAndCancel();
    void sheetRoom_data();
    void sheetRoom();

private:
    std::unique_ptr<testing::Session> session_;
    testing::TempWorkDir *dir_ = nullptr;
    testing::Prompts *prompts_ = nullptr;
};

void TestExport::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestExport::init()
{
    session_ = std::make_unique<testing::Session>(seedArchive);
    dir_ = &session_->dir();
    prompts_ = &session_->prompts();
}

void TestExport::cleanup()
{
    history::setProgressDelay(1000);
    ui::clearSaveFileNames();
    session_.reset();
}

void TestExport::written_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<int>("selected"); // the row selected before and after

    QTest::newRow("the list as opened") << QString() << kRowsByTime << 0;
    QTest::newRow("the third row selected") << u"select"_s << kRowsByTime << 2;
    // No order is asked of a query: the engine's, which is stored order here.
    QTest::newRow("after a query") << u"query"_s
                                   << QList<QStringList>{kRowsByTime[1], kRowsByTime[2], kRowsByTime[3]} << 0;
    QTest::newRow("an empty list") << u"empty"_s << QList<QStringList>() << -1;
}

// Every row of the list, from the first whatever is selected, in list order,
// each cell of its kind: 单号 text, 时间 a date and time shown as the grid
// shows it, the number columns numbers a shop can sum. The selection stays on
// its ticket, so a 删除 after the export deletes that ticket and no other.
void TestExport::written()
{
    QFETCH(QString, before);
    QFETCH(QList<QStringList>, rows);
    QFETCH(int, selected);

    if (before == u"empty")
        testing::exec(u"delete from xstj"_s);
    const QString name = dir_->file(u"day"_s);
    int selectedAfter = -2;
    QString deletedNumber = u"<none>"_s;
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
        if (selected >= 0) {
            deletedNumber = XstjForm->DBGridEh1->model()->index(selected, 1).data().toString();
            prompts_->answer(msg::Answer::Ok);
            testing::click(XstjForm->SpeedButton4); // 删除
        }
    });
    QVERIFY(prompts_->log().size() >= 1);
    const msg::Prompt done = prompts_->log().first();
    QCOMPARE(done.text, u"成功导出全部数据!"_s);
    QCOMPARE(done.title, u"提示"_s);
    QCOMPARE(done.icon, msg::Icon::None);
    QCOMPARE(done.buttons, msg::Buttons::Ok);

    const Sheet sheet = readSheet(name + u".xlsx"_s);
    QVERIFY2(sheet.read, qPrintable(sheet.error));
    QCOMPARE(sheet.sheets, 1);
    QCOMPARE(sheet.rows, asTexts(kHeader) + rows);
    QCOMPARE(selectedAfter, selected);
    if (selected >= 0) {
        QCOMPARE(deletedNumber, rows[selected][0].mid(2));
        QCOMPARE(testing::scalar(u"select count(*) from xstj where 单号 = ?"_s, {deletedNumber}).toInt(), 0);
        QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 3);
    }
    // Each column as wide as its widest text, header included.
    QCOMPARE(sheet.widths.size(), kHeader.size());
    for (int c = 0; c < kHeader.size(); ++c) {
        for (const QStringList &row : sheet.shown)
            QVERIFY2(sheet.widths[c] >= displayWidth(row.value(c)) + 1,
                     qPrintable(u"column %1 is %2 wide for %3"_s.arg(c).arg(sheet.widths[c]).arg(row.value(c))));
    }
    QCOMPARE(partFiles(dir_->path()), QStringList());
}

// What the checkout never writes, stored by other means: each goes in as the
// text the grid shows, and nothing is lost.
void TestExport::valuesTheirColumnsDoNotHold()
{
    testing::exec(u"delete from xstj"_s);
    addTicket(u"20240304"_s, u"2024-3-4 9:05"_s, u"两箱"_s, std::numeric_limits<double>::infinity(), -0.0, u"王五"_s);
    addTicket(u"20240305080000"_s, u"昨天"_s, 12, 0, 1e-9, QString(40, u'长'));
    addTicket(u"20240230090000"_s, u"2024-02-30 09:00:00"_s, 1, 1, 1, u"a"_s);
    addTicket(u"18991231100000"_s, u"1899-12-31 10:00:00"_s, 1, 1, 1, u"a"_s);
    addTicket(u"20241231235959"_s, u"2024-12-31 23:59:59"_s, 1, 1, 1, u"a"_s);
    const QString name = dir_->file(u"odd"_s);
    inStatistics([&] { exportAs(name); });
    const Sheet sheet = readSheet(name + u".xlsx"_s);
    QVERIFY2(sheet.read, qPrintable(sheet.error));
    QMap<QString, QStringList> byNumber; // the rows by their 单号
    for (const QStringList &row : sheet.rows.mid(1))
        byNumber.insert(row.value(0).mid(2), row);
    QCOMPARE(byNumber.size(), 5);
    QCOMPARE(byNumber[u"20240304"_s], (QStringList{u"s:20240304"_s, u"s:2024-3-4 9:05"_s, u"s:两箱"_s, u"s:INF"_s,
                                                  u"n:0"_s, u"s:王五"_s}));
    QCOMPARE(byNumber[u"20240305080000"_s], (QStringList{u"s:20240305080000"_s, u"s:昨天"_s, u"n:12"_s, u"n:0"_s,
                                                        u"n:1e-09"_s, u"s:"_s + QString(40, u'长')}));
    // A day that does not exist, and one before the sheets' first day, stay text.
    QCOMPARE(byNumber[u"20240230090000"_s].value(1), u"s:2024-02-30 09:00:00"_s);
    QCOMPARE(byNumber[u"18991231100000"_s].value(1), u"s:1899-12-31 10:00:00"_s);
    QCOMPARE(byNumber[u"20241231235959"_s].value(1), u"d:2024-12-31 23:59:59"_s + kTime);
    QVERIFY(sheet.widths.value(5) >= 60);
}

void TestExport::fileNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");

    QTest::newRow("day") << u"day"_s << u"day.xlsx"_s;
    // The content's format names the file: an .xls name would make Excel warn.
    QTest::newRow("day.xls") << u"day.xls"_s << u"day.xlsx"_s;
    QTest::newRow("day.xlsx") << u"day.xlsx"_s << u"day.xlsx"_s;
    QTest::newRow("DAY.XLSX") << u"DAY.XLSX"_s << u"DAY.XLSX"_s;
    QTest::newRow("day.2024") << u"day.2024"_s << u"day.2024.xlsx"_s;
    QTest::newRow("a Chinese name") << u"三月 销售"_s << u"三月 销售.xlsx"_s;
}

void TestExport::fileNames()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);

    QCOMPARE(history::exportFileName(typed), written);
    inStatistics([&] { exportAs(dir_->file(typed)); });
    QCOMPARE(ui::lastSaveFileFilter(), u"Excel 工作簿 (*.xlsx)"_s);
    QCOMPARE(filesBeside(dir_->path()), QStringList{written});
    const Sheet sheet = readSheet(dir_->file(written));
    QVERIFY2(sheet.read, qPrintable(sheet.error));
    QCOMPARE(sheet.rows.size(), 5);
    QCOMPARE(prompts_->texts(), QStringList{u"成功导出全部数据!"_s});
}

void TestExport::replacingAFile_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("replace");

    QTest::newRow("replaced") << u"day"_s << true;
    QTest::newRow("kept") << u"day"_s << false;
    QTest::newRow("typed with its suffix, kept") << u"day.xlsx"_s << false;
}

// A file of the name written is replaced only when the user says so.
void TestExport::replacingAFile()
{
    QFETCH(QString, typed);
    QFETCH(bool, replace);

    const QString file = dir_->file(u"day.xlsx"_s);
    QFile older(file);
    QVERIFY(older.open(QIODevice::WriteOnly));
    older.write("older export");
    older.close();

    prompts_->answer(replace ? msg::Answer::Ok : msg::Answer::Cancel);
    inStatistics([&] { exportAs(dir_->file(typed)); });
    QVERIFY(!prompts_->log().isEmpty());
    const msg::Prompt asked = prompts_->log().first();
    QCOMPARE(asked.text, u"文件“%1”已经存在，要替换它吗？"_s.arg(QDir::toNativeSeparators(file)));
    QCOMPARE(asked.icon, msg::Icon::Warning);
    QCOMPARE(asked.buttons, msg::Buttons::OkCancel);
    QCOMPARE(prompts_->texts().mid(1), replace ? QStringList{u"成功导出全部数据!"_s} : QStringList());
    QCOMPARE(filesBeside(dir_->path()), QStringList{u"day.xlsx"_s});
    const Sheet sheet = readSheet(file);
    QCOMPARE(sheet.read, replace);
    if (!replace) {
        QVERIFY(older.open(QIODevice::ReadOnly));
        QCOMPARE(older.readAll(), QByteArray("older export"));
    }
}

void TestExport::cancelledDialog()
{
    inStatistics([&] { exportAs(QString()); });
    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(filesBeside(dir_->path()), QStringList());
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
    QVERIFY(QDir(dir_->path()).mkdir(u"taken.xlsx"_s));

    const QString target = dir_->file(name) + u".xlsx"_s;
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
    QVERIFY(!QFile::exists(name + u".xlsx"_s));
    QCOMPARE(partFiles(dir_->path()), QStringList());
}

// A long export shows how far it got and can be cancelled; a cancelled export
// leaves no new file, keeps the older one of that name, and claims nothing.
void TestExport::progressAndCancel()
{
    constexpr int kTickets = 30000;
    seedMany(kTickets);
    const QString name = dir_->file(u"long"_s);
    QFile older(name + u".xlsx"_s);
    QVERIFY(older.open(QIODevice::WriteOnly));
    older.write("older export");
    older.close();
    prompts_->answer(msg::Answer::Ok); // replace it

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
    QCOMPARE(prompts_->texts().mid(1), QStringList());
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
