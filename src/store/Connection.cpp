#include "store/Connection.h"

#include "store/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace connstr {

QString designShort()
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=data.mdb;"
                          "Persist Security Info=False;Jet OLEDB:Database Password=")
        + QString::fromUtf16(kPassword);
}

QString designLong()
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=data.mdb;"
                          "Mode=Share Deny None;Extended Properties=\"\";Jet OLEDB:System database=\"\";"
                          "Jet OLEDB:Registry Path=\"\";Jet OLEDB:Database Password=")
        + QString::fromUtf16(kPassword)
        + QStringLiteral(";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Locking Mode=1;"
                         "Jet OLEDB:Global Partial Bulk Ops=2;Jet OLEDB:Global Bulk Transactions=1;"
                         "Jet OLEDB:New Database Password=\"\";Jet OLEDB:Create System Database=False;"
                         "Jet OLEDB:Encrypt Database=False;Jet OLEDB:Don't Copy Locale on Compact=False;"
                         "Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False");
}

QString runtime()
{
    QString dir = QDir::currentPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=\"")
        + QString::fromUtf16(kPassword) + QStringLiteral("\";Data Source=") + dir
        + QStringLiteral("data.mdb;Persist Security Info=True");
}

QString dataSource(const QString &connectionString)
{
    const auto parts = connectionString.split(QLatin1Char(';'));
    for (const QString &part : parts) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (part.left(eq).trimmed().compare(QLatin1String("Data Source"), Qt::CaseInsensitive) != 0)
            continue;
        QString value = part.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

} // namespace connstr

Connection::Connection(QString connectionString)
    : connectionString_(std::move(connectionString))
{
    static std::atomic<int> counter{0};
    name_ = QStringLiteral("velmora-%1").arg(++counter);
}

Connection::~Connection()
{
    openTransactions_ = 0;
    close();
    if (QSqlDatabase::contains(name_))
        QSqlDatabase::removeDatabase(name_);
}

void Connection::setConnectionString(const QString &text)
{
    connectionString_ = text;
}

void Connection::open()
{
    if (isOpen())
        return;
    const QString source = connstr::dataSource(connectionString_);
    const QFileInfo info(QDir::current(), source.isEmpty() ? QStringLiteral("data.mdb") : source);
    filePath_ = info.absoluteFilePath();
    if (!info.exists() || !info.isFile()) {
        throw AppError(QStringLiteral("找不到数据库文件“%1”(查找的文件夹: %2)")
                           .arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath())));
    }
    QSqlDatabase db = QSqlDatabase::contains(name_) ? QSqlDatabase::database(name_, false)
                                                     : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(filePath_);
    // Several windows' connections and a second instance share the file.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open())
        throw AppError(db.lastError().text());
    QSqlQuery pragma(db);
    // WAL lets readers and the writer work side by side; FULL makes a posted
    // row (an archived ticket) survive a power cut.
    for (const auto *sql : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=OFF"}) {
        if (!pragma.exec(QString::fromLatin1(sql))) {
            const QString message = pragma.lastError().text();
            pragma.finish();
            db.close();
            throw AppError(QStringLiteral("无法打开数据库文件“%1”：%2").arg(filePath_, message));
        }
        pragma.finish();
    }
    ++generation_;
}

void Connection::close()
{
    if (openTransactions_ > 0)
        throw AppError(QStringLiteral("数据库连接在事务未结束时不能关闭"));
    if (!QSqlDatabase::contains(name_))
        return;
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (db.isOpen())
        db.close();
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(name_) && QSqlDatabase::database(name_, false).isOpen();
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(name_, false);
}
