// velmora.ini [printer] written back: the checkout reads what was written,
// and the rest of a hand-edited file stays as it was.
#include "print/PrinterSettings.h"
#include "base/AppError.h"
#include "support/DamagedFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kIni = u"velmora.ini"_s;

void writeIni(const QByteArray &text)
{
    QFile file(kIni);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

class TestPrinterSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void keepsTheRestOfTheFile_data();
    void keepsTheRestOfTheFile();
    void valuesReadBackAsWritten_data();
    void valuesReadBackAsWritten();

private:
    std::unique_ptr<testing::TempWorkDir> dir_;
};

void TestPrinterSettings::init()
{
    dir_ = std::make_unique<testing::TempWorkDir>(false);
}

void TestPrinterSettings::cleanup()
{
    dir_.reset();
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
    QTest::newRow("device with blanks and percent") << u"/dev/serial/by-id/my printer%20 #1"_s;
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

QTEST_MAIN(TestPrinterSettings)
#include "tst_printersettings.moc"
