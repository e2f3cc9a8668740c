// velmora.ini [printer] and the window 打印机设置 that shows and changes it:
// the rest of a hand-edited file stays as it was, the checkout reads back
// what was saved, and the next receipt follows it.
#include "app/HotKeys.h"
#include "print/DyjszUnit.h"
#include "print/EscPosPrinter.h"
#include "print/Printer.h"
#include "print/PrinterSettings.h"
#include "support/DamagedFiles.h"
#include "support/FakeEscPos.h"
#include "support/PrintSupport.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;
using testing::FakeEscPosPrinter;

namespace {

const QString kIni = u"velmora.ini"_s;

void writeIni(const QByteArray &text)
{
    QFile file(kIni);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// The window as the cashier opens it: 打印机设置 in the main window, then
// the steps while it is open.
void inPrinterSettings(const std::function<void(TDyjszForm *)> &steps)
{
    testing::whileModal([&](QWidget *modal) {
        QCOMPARE(modal, static_cast<QWidget *>(DyjszForm));
        steps(DyjszForm);
    });
    testing::click(MainForm->SpeedButton10);
}

QString shownState(TDyjszForm *w)
{
    return u"%1|%2|%3|%4|%5"_s.arg(w->ComboBox1->currentText(), w->Edit1->text(),
                                   w->Edit1->isEnabled() ? u"address on"_s : u"address off"_s,
                                   w->CheckBox1->isChecked() ? u"drawer"_s : u"no drawer"_s,
                                   w->CheckBox1->isEnabled() ? u"on"_s : u"off"_s);
}

} // namespace

class TestPrinterSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void showsTheFile_data();
    void showsTheFile();
    void unreadableFileIsTold();
    void savesWhatWasChosen();
    void badAddressWritesNothing_data();
    void badAddressWritesNothing();
    void unwritableIsTold_data();
    void unwritableIsTold();
    void keepsTheRestOfTheFile_data();
    void keepsTheRestOfTheFile();
    void valuesReadBackAsWritten_data();
    void valuesReadBackAsWritten();
    void nextReceiptOpensTheDrawer_data();
    void nextReceiptOpensTheDrawer();

private:
    std::unique_ptr<testing::Session> session_;
};

void TestPrinterSettings::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestPrinterSettings::init()
{
    session_ = std::make_unique<testing::Session>();
    print::escpos::setTimeouts({2000, 1000, 2000});
}

void TestPrinterSettings::cleanup()
{
    print::escpos::setTimeouts({});
    print::setPrinter({});
    const int unexpected = session_->prompts().unexpected();
    session_.reset();
    QCOMPARE(unexpected, 0);
}

void TestPrinterSettings::showsTheFile_data()
{
    QTest::addColumn<QByteArray>("ini"); // none when null
    QTest::addColumn<QString>("shown");
    QTest::newRow("no file") << QByteArray() << u"CUPS 打印机(驱动)||address off|no drawer|off"_s;
    QTest::newRow("network printer with drawer")
        << QByteArray("[server]\nhost=db\n[printer]\nkind=escpos\naddress=192.168.1.50:9100\ndrawer=true\n")
        << u"ESC/POS 小票打印机|192.168.1.50:9100|address on|drawer|on"_s;
    QTest::newRow("cups keeps what was set for ESC/POS")
        << QByteArray("[printer]\nkind = CUPS\naddress=/dev/usb/lp0\ndrawer=1\n")
        << u"CUPS 打印机(驱动)|/dev/usb/lp0|address off|drawer|off"_s;
}

void TestPrinterSettings::showsTheFile()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, shown);
    if (!ini.isNull())
        writeIni(ini);
    QString seen;
    inPrinterSettings([&](TDyjszForm *w) {
        seen = shownState(w);
        // The kind is where the keys start; the address follows it.
        QVERIFY(w->ComboBox1->hasFocus());
    });
    QCOMPARE(seen, shown);
}

// The window would show something the till does not do: it stays shut,
// and the file is left for mending by hand.
void TestPrinterSettings::unreadableFileIsTold()
{
    const QByteArray before = "[printer]\nkind=epson\n";
    writeIni(before);
    testing::click(MainForm->SpeedButton10);
    QCOMPARE(session_->prompts().takeTexts(),
             QStringList{ui::withFullStop(u"“velmora.ini”中[printer]的kind“epson”无法识别："
                                          u"只能是cups(带驱动的打印机)或escpos(ESC/POS小票打印机)"_s)});
    QVERIFY(!DyjszForm->isVisible());
    QCOMPARE(testing::fileBytes(kIni), before);
}

void TestPrinterSettings::savesWhatWasChosen()
{
    const QByteArray others = "[server]\n; the shop's database server\nhost=db.local\n\n";
    const QByteArray backup = "\n[backup]\nfolder=/mnt/备份\n";
    writeIni(others + "[printer]\nkind=cups\n" + backup);
    QString afterChoice;
    inPrinterSettings([&](TDyjszForm *w) {
        QVERIFY(testing::pickFromList(w->ComboBox1, u"ESC/POS 小票打印机"_s));
        afterChoice = shownState(w);
        testing::pressKey(w->ComboBox1, Qt::Key_Tab);
        QVERIFY(w->Edit1->hasFocus());
        testing::typeKeys(w->Edit1, u"192.168.1.50:9100"_s);
        testing::pressKey(w->Edit1, Qt::Key_Tab);
        QVERIFY(w->CheckBox1->hasFocus());
        testing::pressKey(w->CheckBox1, Qt::Key_Space);
        testing::click(w->SpeedButton1);
        QVERIFY(!w->isVisible());
    });
    QCOMPARE(afterChoice, u"ESC/POS 小票打印机||address on|no drawer|on"_s);
    QCOMPARE(session_->prompts().takeTexts(), QStringList{u"打印机设置保存成功！"_s});
    // The keys go where the section is; every other line stays as it was.
    QCOMPARE(testing::fileBytes(kIni),
             others + "[printer]\nkind=escpos\naddress=192.168.1.50:9100\ndrawer=true\n" + backup);

    // Back to CUPS: the address stays for the day the printer comes back.
    inPrinterSettings([&](TDyjszForm *w) {
        QCOMPARE(shownState(w), u"ESC/POS 小票打印机|192.168.1.50:9100|address on|drawer|on"_s);
        testing::pressKey(w->ComboBox1, Qt::Key_Up);
        QCOMPARE(shownState(w), u"CUPS 打印机(驱动)|192.168.1.50:9100|address off|drawer|off"_s);
        testing::click(w->SpeedButton1);
    });
    QCOMPARE(testing::fileBytes(kIni),
             others + "[printer]\nkind=cups\naddress=192.168.1.50:9100\ndrawer=true\n" + backup);
}

void TestPrinterSettings::badAddressWritesNothing_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message"); // as the checkout refuses the address
    QTest::newRow("no port") << u"127.0.0.1"_s
                             << u"ESC/POS打印机的地址“127.0.0.1”缺少端口号：网络打印机写成“主机:端口”，"
                                u"如192.168.1.50:9100"_s;
    QTest::newRow("empty") << QString()
                           << u"没有设置ESC/POS打印机的地址，应写成“queue:打印队列名”(CUPS的原始队列)、"
                              u"设备路径(如/dev/usb/lp0)或“主机:端口”(如192.168.1.50:9100)"_s;
}

void TestPrinterSettings::badAddressWritesNothing()
{
    QFETCH(QString, address);
    QFETCH(QString, message);
    const QByteArray before = "[printer]\r\nkind=cups\r\n";
    writeIni(before);
    bool stayedOpen = false;
    inPrinterSettings([&](TDyjszForm *w) {
        testing::pressKey(w->ComboBox1, Qt::Key_Down);
        testing::typeInto(w->Edit1, address);
        testing::click(w->SpeedButton1);
        stayedOpen = w->isVisible();
    });
    QCOMPARE(session_->prompts().takeTexts(), QStringList{ui::withFullStop(message)});
    QVERIFY(stayedOpen);
    QCOMPARE(testing::fileBytes(kIni), before);
}

void TestPrinterSettings::unwritableIsTold_data()
{
    QTest::addColumn<bool>("folder"); // the folder is read-only, else the file
    QTest::newRow("read-only folder") << true;
    QTest::newRow("read-only file") << false;
}

void TestPrinterSettings::unwritableIsTold()
{
    QFETCH(bool, folder);
    const QByteArray before = "[printer]\nkind=escpos\naddress=queue:Receipt\n";
    writeIni(before);
    const QString readOnly = folder ? QDir::currentPath() : kIni;
    const auto writable = QFile::permissions(readOnly);
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    QString shown;
    {
        testing::AsOrdinaryUser user;
        inPrinterSettings([&](TDyjszForm *w) {
            testing::click(w->CheckBox1);
            testing::click(w->SpeedButton1);
            shown = shownState(w);
        });
    }
    QVERIFY(QFile::setPermissions(readOnly, writable));
    QCOMPARE(session_->prompts().takeTexts(),
             QStringList{ui::withFullStop(u"无法保存设置文件“velmora.ini”(没有权限)，打印机设置没有改变"_s)});
    // What the user chose is still in the window to try again.
    QCOMPARE(shown, u"ESC/POS 小票打印机|queue:Receipt|address on|drawer|on"_s);
    QCOMPARE(testing::fileBytes(kIni), before);
}

void TestPrinterSettings::keepsTheRestOfTheFile_data()
{
    QTest::addColumn<QByteArray>("before"); // none when null
    QTest::addColumn<QByteArray>("after");
    const QByteArray keys = "kind=escpos\naddress=queue:Receipt\ndrawer=true\n";
    QTest::newRow("no file") << QByteArray() << "[printer]\n" + keys;
    QTest::newRow("no printer section")
        << QByteArray("[server]\n; the shop's database\nhost=db.local\n")
        << "[server]\n; the shop's database\nhost=db.local\n\n[printer]\n" + keys;
    QTest::newRow("keys replaced where they stand, others kept")
        << QByteArray("[printer]\n; set by support\nkind = cups\nmodel=TM-T20\n\n[backup]\nfolder=/mnt/备份\n")
        << QByteArray("[printer]\n; set by support\nkind=escpos\nmodel=TM-T20\naddress=queue:Receipt\ndrawer=true\n"
                      "\n[backup]\nfolder=/mnt/备份\n");
    QTest::newRow("Windows line ends") << QByteArray("[printer]\r\nkind=cups\r\n")
                                       << QByteArray("[printer]\r\nkind=escpos\r\naddress=queue:Receipt\r\n"
                                                     "drawer=true\r\n");
}

void TestPrinterSettings::keepsTheRestOfTheFile()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    if (!before.isNull())
        writeIni(before);
    print::writePrinterSettings({print::PrinterSettings::Kind::EscPos, u"queue:Receipt"_s, true});
    QCOMPARE(testing::fileBytes(kIni), after);
}

void TestPrinterSettings::valuesReadBackAsWritten_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("IPv6") << u"[fe80::1]:9100"_s;
    QTest::newRow("queue with comma and semicolon") << u"queue:小票,前台;2"_s;
    QTest::newRow("device with quote and backslash") << u"/dev/by-id/usb-\"EPSON\"\\lp0"_s;
}

// Whatever is saved, the checkout reads back the same.
void TestPrinterSettings::valuesReadBackAsWritten()
{
    QFETCH(QString, address);
    const print::PrinterSettings s{print::PrinterSettings::Kind::EscPos, address, true};
    print::writePrinterSettings(s);
    const print::PrinterSettings read = print::readPrinterSettings();
    QCOMPARE(read.kind, s.kind);
    QCOMPARE(read.address, address);
    QCOMPARE(read.drawer, true);
}

void TestPrinterSettings::nextReceiptOpensTheDrawer_data()
{
    QTest::addColumn<bool>("drawer");
    QTest::newRow("ticked") << true;
    QTest::newRow("not ticked") << false;
}

void TestPrinterSettings::nextReceiptOpensTheDrawer()
{
    QFETCH(bool, drawer);
    FakeEscPosPrinter fake;
    QVERIFY(!fake.address().isEmpty());
    print::setPrinter({}); // the printer velmora.ini names
    inPrinterSettings([&](TDyjszForm *w) {
        testing::pressKey(w->ComboBox1, Qt::Key_Down);
        testing::typeInto(w->Edit1, fake.address());
        if (drawer)
            testing::click(w->CheckBox1);
        testing::click(w->SpeedButton1);
    });
    QCOMPARE(session_->prompts().takeTexts(), QStringList{u"打印机设置保存成功！"_s});

    app::HotKeys hotKeys;
    testing::retype(MainForm->ComboBox6, u"张三"_s);
    testing::addTicketLine(u"可口可乐"_s, u"3"_s, u"2"_s);
    QTest::keyClick(MainForm, Qt::Key_F5);
    QCOMPARE(session_->prompts().takeTexts(), QStringList());
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 1);
    const testing::EscPosReader read = fake.reader();
    QCOMPARE(read.receipts.size(), 1);
    QCOMPARE(read.commands.contains(u"ESC p 0 25 250"_s), drawer);
}

QTEST_MAIN(TestPrinterSettings)
#include "tst_printersettings.moc"
