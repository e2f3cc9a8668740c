#include "support/CoreSupport.h"

#include "store/Clock.h"
#include "store/Connection.h"
#include "store/Server.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace testing {

namespace {

const QString kAdmin = QStringLiteral("test-server-admin");

QString serverText()
{
    return qEnvironmentVariable("VELMORA_TEST_PG");
}

// A run asked for on a server that cannot be had is skipped as a whole,
// before any case runs.
void checkServerAtStart()
{
    if (qEnvironmentVariable("VELMORA_TEST_ENGINE") != QLatin1String("pg"))
        return;
    if (serverText().isEmpty()) {
        std::fprintf(stderr, "VELMORA_TEST_PG is not set: no test server (scripts/test.sh starts one); skipped\n");
        ::_exit(77);
    }
}
Q_CONSTRUCTOR_FUNCTION(checkServerAtStart)

QSqlQuery admin(const QString &sql)
{
    if (!QSqlDatabase::contains(kAdmin)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kAdmin);
        db.setConnectOptions(serverText() + QStringLiteral(" dbname=postgres"));
    }
    QSqlDatabase db = QSqlDatabase::database(kAdmin);
    if (!db.isOpen())
        qFatal("no test server: %s", qPrintable(db.lastError().text()));
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q;
}

QString &currentServerDatabase()
{
    static QString name;
    return name;
}

} // namespace

bool onServer()
{
    return qEnvironmentVariable("VELMORA_TEST_ENGINE") == QLatin1String("pg");
}

void TempWorkDir::makeServerDatabase()
{
    static std::atomic<int> counter{0};
    serverDatabase_ = QStringLiteral("velmora_t%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    admin(QStringLiteral("CREATE DATABASE %1 TEMPLATE velmora_template").arg(serverDatabase_));
    const QString connection = serverText() + QStringLiteral(" dbname=") + serverDatabase_;
    QFile ini(dir_.filePath(QStringLiteral("velmora.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        qFatal("cannot write velmora.ini");
    ini.write(QStringLiteral("[server]\nconnection=%1\ntill=1\n").arg(connection).toUtf8());
    ini.close();
    server_ = std::make_unique<store::ServerSession>(store::ServerSettings{connection, 1});
    server_->open();
    Connection::useServer(server_.get());
    currentServerDatabase() = serverDatabase_;
}

TempWorkDir::TempWorkDir(bool withDatabase)
{
    QStandardPaths::setTestModeEnabled(true);
    previous_ = QDir::currentPath();
    previousHome_ = qgetenv("HOME");
    if (!dir_.isValid())
        qFatal("no temporary directory");
    // The desktop launcher of a test goes to this folder's desktop, never to
    // the real one (Qt's test mode leaves the desktop folder where it is).
    qputenv("HOME", QFile::encodeName(dir_.path()));
    if (withDatabase && onServer())
        makeServerDatabase();
    else if (withDatabase && !QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), dir_.filePath(QStringLiteral("data.mdb"))))
        qFatal("cannot copy the delivered data.mdb");
    QDir::setCurrent(dir_.path());
}

TempWorkDir::~TempWorkDir()
{
    if (server_) {
        Connection::useServer(nullptr);
        server_.reset();
        currentServerDatabase().clear();
        admin(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(serverDatabase_));
    }
    QDir::setCurrent(previous_);
    qputenv("HOME", previousHome_);
}

QString TempWorkDir::file(const QString &name) const
{
    return dir_.filePath(name);
}

namespace {
template <class F> auto withDb(F &&f)
{
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("test-side-%1").arg(++counter);
    {
        QSqlDatabase db;
        if (!currentServerDatabase().isEmpty()) {
            // Another program on till 1's database, seeing what till 1 sees.
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setConnectOptions(serverText() + QStringLiteral(" dbname=") + currentServerDatabase());
            if (!db.open())
                qFatal("side connection failed: %s", qPrintable(db.lastError().text()));
            QSqlQuery(db).exec(QStringLiteral("SET search_path = till_01, public"));
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QDir::current().absoluteFilePath(QStringLiteral("data.mdb")));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
            if (!db.open())
                qFatal("side connection failed");
        }
        {
            QSqlQuery q(db);
            f(q);
            q.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void run(QSqlQuery &q, const QString &sql, const QVariantList &args)
{
    // The server prepares no statement that changes tables themselves.
    if (args.isEmpty()) {
        if (!q.exec(sql))
            qFatal("exec failed: %s", qPrintable(q.lastError().text()));
        return;
    }
    if (!q.prepare(sql))
        qFatal("prepare failed: %s", qPrintable(q.lastError().text()));
    for (const QVariant &a : args)
        q.addBindValue(a);
    if (!q.exec())
        qFatal("exec failed: %s", qPrintable(q.lastError().text()));
}
} // namespace

QList<QStringList> rows(const QString &sql, const QVariantList &args)
{
    QList<QStringList> out;
    withDb([&](QSqlQuery &q) {
        run(q, sql, args);
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << (q.value(i).isNull() ? QString() : q.value(i).toString());
            out << row;
        }
    });
    return out;
}

QVariant scalar(const QString &sql, const QVariantList &args)
{
    QVariant v;
    withDb([&](QSqlQuery &q) {
        run(q, sql, args);
        if (q.next())
            v = q.value(0);
    });
    return v;
}

void exec(const QString &sql, const QVariantList &args)
{
    withDb([&](QSqlQuery &q) { run(q, sql, args); });
    // A till sees another's change from the next turn of its event loop on.
    if (onServer())
        QCoreApplication::processEvents();
}

void makeFailingTrigger(const QString &table, const QString &event, const QString &when, const QString &message)
{
    if (onServer()) {
        exec(QStringLiteral("CREATE TRIGGER fail BEFORE %1 ON %2 FOR EACH ROW %3 EXECUTE FUNCTION velmora_test_fail('%4')")
                 .arg(event, table, when.isEmpty() ? QString() : QStringLiteral("WHEN (%1)").arg(when), message));
        return;
    }
    exec(QStringLiteral("create trigger fail before %1 on %2 %3 begin select raise(abort, '%4'); end")
             .arg(event, table, when.isEmpty() ? QString() : QStringLiteral("when ") + when, message));
}

void dropFailingTrigger(const QString &table)
{
    exec(onServer() ? QStringLiteral("DROP TRIGGER fail ON %1").arg(table) : QStringLiteral("drop trigger fail"));
}

void fixClock(const QDateTime &t)
{
    appclock::setSource([t] { return t; });
}

void releaseClock()
{
    appclock::setSource({});
}

} // namespace testing
