#include "support/DamagedFiles.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

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
            QStringLiteral("no xsmx"), QStringLiteral("xsxx without 折后"), QStringLiteral("damaged")};
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
        } else if (kind == QLatin1String("damaged")) {
            // The page of the tables' own list, broken after the file header:
            // the file is this program's, but no table can be read.
            QFile f(path);
            if (!f.open(QIODevice::ReadWrite) || !f.seek(100))
                qFatal("cannot damage %s", qPrintable(path));
            f.write(QByteArray(8, '\xff'));
        } else {
            qFatal("unknown kind %s", qPrintable(kind));
        }
    }
}

int damageTablePage(const QString &path, const QString &table)
{
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("damage-page-%1").arg(++counter);
    int page = 0;
    int pageSize = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(path));
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT pageno FROM dbstat WHERE name = '%1' AND pagetype = 'leaf' "
                                   "ORDER BY pageno LIMIT 1 OFFSET 2").arg(table)))
            qFatal("dbstat: %s", qPrintable(q.lastError().text()));
        if (q.next())
            page = q.value(0).toInt();
        if (q.exec(QStringLiteral("PRAGMA page_size")) && q.next())
            pageSize = q.value(0).toInt();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (page <= 0 || pageSize <= 0)
        return 0;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(qint64(page - 1) * pageSize))
        qFatal("cannot damage %s", qPrintable(path));
    // No page kind has the type byte 0xff: the engine calls the file malformed.
    f.write(QByteArray(16, '\xff'));
    return page;
}

struct AsOrdinaryUser::Saved {
    __user_cap_header_struct header{};
    __user_cap_data_struct data[2]{};
};

AsOrdinaryUser::AsOrdinaryUser()
{
    if (::geteuid() != 0)
        return;
    auto *saved = new Saved;
    saved->header.version = _LINUX_CAPABILITY_VERSION_3;
    if (::syscall(SYS_capget, &saved->header, saved->data) != 0) {
        delete saved;
        return;
    }
    __user_cap_data_struct reduced[2] = {saved->data[0], saved->data[1]};
    const quint32 mask = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
    reduced[0].effective &= ~mask;
    if (::syscall(SYS_capset, &saved->header, reduced) != 0) {
        delete saved;
        return;
    }
    saved_ = saved;
}

AsOrdinaryUser::~AsOrdinaryUser()
{
    if (!saved_)
        return;
    ::syscall(SYS_capset, &saved_->header, saved_->data);
    delete saved_;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace testing
