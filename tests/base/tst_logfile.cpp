// velmora.log: what support reads. Each message carries its time, level and
// category; the file is rotated by size and only so many old ones are kept.
#include "base/Log.h"
#include "base/LogFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestLogFile : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { logfile::uninstall(); }

    void linesCarryLevelAndCategory();
    void rotatedBySize_data();
    void rotatedBySize();
};

void TestLogFile::linesCarryLevelAndCategory()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velmora.log"_s);
    logfile::install(path);
    QCOMPARE(logfile::path(), path);
    qCWarning(lcStore, "the mark of ticket %s stays", "20240305094107");
    qCDebug(lcPrint, "not written unless asked for");
    qCCritical(lcPrint) << "两行\n合一";
    logfile::uninstall();
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].contains(u" warning velmora.store: the mark of ticket 20240305094107 stays"_s),
             qPrintable(lines[0]));
    QVERIFY(QDateTime::fromString(lines[0].left(23), u"yyyy-MM-dd hh:mm:ss.zzz"_s).isValid());
    QVERIFY2(lines[1].contains(u" critical velmora.print: 两行 合一"_s), qPrintable(lines[1]));
}

void TestLogFile::rotatedBySize_data()
{
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("files"); // velmora.log and its older ones
    // Each line is about 80 bytes; the files hold 1000 bytes.
    QTest::newRow("fits one file") << 5 << 3 << 1;
    QTest::newRow("one rotation") << 20 << 3 << 2;
    QTest::newRow("only so many kept") << 200 << 3 << 4;
    QTest::newRow("none kept") << 200 << 0 << 1;
}

void TestLogFile::rotatedBySize()
{
    QFETCH(int, messages);
    QFETCH(int, keep);
    QFETCH(int, files);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velmora.log"_s);
    logfile::install(path, {1000, keep});
    for (int i = 0; i < messages; ++i)
        qCWarning(lcApp, "message %04d", i);
    logfile::uninstall();
    const QStringList found = QDir(dir.path()).entryList({u"velmora.log*"_s}, QDir::Files, QDir::Name);
    QCOMPARE(found.size(), files);
    // Read oldest first: what is kept is the latest messages, each once, in
    // order, no line cut, none over the size.
    QList<int> kept;
    for (int i = files - 1; i >= 0; --i) {
        QFile f(i == 0 ? path : path + u".%1"_s.arg(i));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
        QVERIFY(f.size() <= 1000);
        const QByteArray text = f.readAll();
        QVERIFY(text.endsWith('\n'));
        for (const QByteArray &line : text.split('\n')) {
            if (!line.isEmpty())
                kept << line.mid(line.indexOf("message ") + 8, 4).toInt();
        }
    }
    QVERIFY(!kept.isEmpty());
    QCOMPARE(kept.last(), messages - 1);
    for (int i = 1; i < kept.size(); ++i)
        QCOMPARE(kept[i], kept[i - 1] + 1);
    if (files < 4 && keep > 0)
        QCOMPARE(kept.size(), messages);
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
