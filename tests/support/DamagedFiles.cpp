#include "support/DamagedFiles.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace testing {

namespace {

void runOn(const QString &path, const QStringList &statements)
{
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("damage-%1").arg(++counter);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(path));
        QSqlQuery q(db);
        for (const QString &s : statements) {
            if (!q.exec(s))
                qFatal("%s: %s", qPrintable(s), qPrintable(q.lastError().text()));
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

} // namespace

QStringList damagedKinds()
{
    return {QStringLiteral("empty"), QStringLiteral("text"), QStringLiteral("jet"), QStringLiteral("other sqlite"),
            QStringLiteral("no xsmx"), QStringLiteral("xsxx without 折后")};
}

void writeDamagedDatabase(const QString &path, const QString &kind)
{
    QFile::remove(path);
    if (kind == QLatin1String("empty")) {
        writeBytes(path, {});
    } else if (kind == QLatin1String("text")) {
        writeBytes(path, QByteArray("this is not a database file\n").repeated(200));
    } else if (kind == QLatin1String("jet")) {
        writeBytes(path, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19) + QByteArray(4096, '\x5a'));
    } else if (kind == QLatin1String("other sqlite")) {
        runOn(path, {QStringLiteral("create table notes (text)"), QStringLiteral("insert into notes values ('x')")});
    } else {
        if (!QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), path))
            qFatal("cannot copy the delivered data.mdb");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        if (kind == QLatin1String("no xsmx")) {
            runOn(path, {QStringLiteral("drop table xsmx")});
        } else if (kind == QStringLiteral("xsxx without 折后")) {
            runOn(path, {QStringLiteral("drop table xsxx"),
                         QStringLiteral("create table xsxx (ID integer primary key autoincrement, 单号 text(50), "
                                        "时间 text(50), 客户 text(255), 电话 text(255), 品名 text(255), 单价 real, "
                                        "数量 real, 金额 real, 备注 text(255))")});
        } else {
            qFatal("unknown kind %s", qPrintable(kind));
        }
    }
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace testing
