#include "support/CoreSupport.h"

#include "store/Clock.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <atomic>

namespace testing {

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
    if (withDatabase && !QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), dir_.filePath(QStringLiteral("data.mdb"))))
        qFatal("cannot copy the delivered data.mdb");
    QDir::setCurrent(dir_.path());
}

TempWorkDir::~TempWorkDir()
{
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
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QDir::current().absoluteFilePath(QStringLiteral("data.mdb")));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open())
            qFatal("side connection failed");
        QSqlQuery q(db);
        f(q);
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void run(QSqlQuery &q, const QString &sql, const QVariantList &args)
{
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
