#include "store/Connection.h"

#include "base/Log.h"
#include "base/AppError.h"
#include "store/Engine.h"
#include "store/Schema.h"
#include "store/Server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cerrno>
#include <atomic>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

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

namespace {

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// SQLite names the journal after the database ("<path>-journal") and takes no
// file name longer than its file layer allows (512 bytes on Linux), after
// resolving symbolic links. A longer path opens and reads, then fails at the
// first write with "unable to open database file"; it is refused at once.
void requireShortPath(const QString &path)
{
    const sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
    const qsizetype longest = (vfs ? vfs->mxPathname : 512) - qsizetype(std::strlen("-journal"));
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const qsizetype bytes = QFile::encodeName(canonical.isEmpty() ? path : canonical).size();
    if (bytes <= longest)
        return;
    const qsizetype name = QFile::encodeName(QFileInfo(path).fileName()).size() + 1;
    throw AppError(QStringLiteral("数据库文件“%1”所在文件夹的路径太长：有%2字节，最多只能有%3字节。"
                                  "请把程序和数据库文件放到路径较短的文件夹中")
                       .arg(nativePath(path))
                       .arg(bytes - name)
                       .arg(longest - name));
}

[[noreturn]] void notOurs(const QString &path, const QString &why)
{
    throw AppError(QStringLiteral("“%1”不是本程序的数据库：%2").arg(nativePath(path), why));
}

// The file could not be read at opening. Only what the engine's words show
// to be a foreign or damaged file is called not ours: a file another program
// holds locked, or a failing disk, is the shop's database all the same.
[[noreturn]] void refuseToRead(const QString &path, const QSqlError &e)
{
    switch (store::classify(e)) {
    case store::EngineFailure::Corrupt:
        throw AppError(store::engineMessage(e));
    case store::EngineFailure::Busy:
    case store::EngineFailure::IoError:
    case store::EngineFailure::CantOpen:
        throw AppError(QStringLiteral("无法打开数据库文件“%1”：%2").arg(nativePath(path), store::engineMessage(e)));
    default:
        notOurs(path, store::engineMessage(e));
    }
}

QSqlQuery runOrThrow(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql))
        store::throwEngineError(q.lastError());
    return q;
}

// The tables and columns the program uses that a database lacks, named for
// the cashier.
QStringList missingFrom(const QHash<QString, QList<Connection::Column>> &tables)
{
    QStringList missing;
    for (const schema::TableColumns &t : schema::requiredTables()) {
        const auto found = tables.constFind(t.table.toLower());
        if (found == tables.cend()) {
            missing << QStringLiteral("表“%1”").arg(t.table);
            continue;
        }
        for (const QString &c : t.columns) {
            if (std::none_of(found->cbegin(), found->cend(),
                             [&](const Connection::Column &col) { return col.name.compare(c, Qt::CaseInsensitive) == 0; }))
                missing << QStringLiteral("表“%1”的列“%2”").arg(t.table, c);
        }
    }
    return missing;
}

// The columns of every table of a file, read once per state of its schema.
struct SchemaSnapshot {
    qint64 version = -1;
    quint64 device = 0;
    quint64 inode = 0;
    QHash<QString, QList<Connection::Column>> tables;
};

QHash<QString, SchemaSnapshot> &schemaCache()
{
    static QHash<QString, SchemaSnapshot> cache;
    return cache;
}

} // namespace

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

// An empty file would become an empty database and a foreign file could be
// damaged by the engine's own writes: both are refused before SQLite opens them.
bool Connection::checkFile(const QString &path) const
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("无法读取数据库文件“%1”：%2")
                           .arg(nativePath(path), f.error() == QFileDevice::PermissionsError
                                                      ? store::systemErrorText(EACCES)
                                                      : QStringLiteral("读取出错")));
    if (f.size() == 0)
        notOurs(path, QStringLiteral("文件是空的(0字节)"));
    static const QByteArray magic("SQLite format 3\0", 16);
    const QByteArray header = f.read(100);
    if (!header.startsWith(magic) || header.size() < 100)
        notOurs(path, QStringLiteral("它不是SQLite数据库文件"));
    // The file format's read and write versions: 2 means write-ahead log.
    return header[18] == 2 || header[19] == 2;
}

void Connection::useServer(store::ServerSession *session)
{
    store::ServerSession::setActive(session);
}

bool Connection::onServer()
{
    return store::ServerSession::active() != nullptr;
}

QString Connection::sumOf(const QString &quotedColumn)
{
    if (!onServer())
        return QStringLiteral("velmora_sum4(%1)").arg(quotedColumn);
    return QStringLiteral("velmora_sum4_of(sum(velmora_fixed4(%1)), bool_or(NOT abs(%1) < 9e14))").arg(quotedColumn);
}

QString Connection::likeMark()
{
    // SQLite's LIKE ignores the case of ASCII letters only and knows no
    // escape character; so written, the server's gives the same rows.
    return onServer() ? QStringLiteral("ILIKE ? ESCAPE ''") : QStringLiteral("LIKE ?");
}

QString Connection::noIndex()
{
    return onServer() ? QString() : QStringLiteral("+");
}

QString Connection::nullsFirst()
{
    return onServer() ? QStringLiteral(" NULLS FIRST") : QString();
}

QString Connection::temporary(const QString &quotedName)
{
    return (onServer() ? QStringLiteral("pg_temp.") : QStringLiteral("temp.")) + quotedName;
}

void Connection::open()
{
    if (isOpen())
        return;
    if (onServer()) {
        openOnServer();
        return;
    }
    const QString source = connstr::dataSource(connectionString_);
    const QFileInfo info(QDir::current(), source.isEmpty() ? QStringLiteral("data.mdb") : source);
    filePath_ = info.absoluteFilePath();
    if (!info.exists() || !info.isFile()) {
        throw AppError(QStringLiteral("找不到数据库文件“%1”(查找的文件夹: %2)")
                           .arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath())));
    }
    store::setDatabaseFile(filePath_);
    requireShortPath(filePath_);
    const bool logMode = checkFile(filePath_);
    QSqlDatabase db = QSqlDatabase::contains(name_) ? QSqlDatabase::database(name_, false)
                                                     : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(filePath_);
    // Several windows' connections share the file; another program holding
    // it makes a statement wait briefly, then fail with a clear message.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        throw AppError(QStringLiteral("无法打开数据库文件“%1”：%2")
                           .arg(nativePath(filePath_), store::engineMessage(db.lastError())));
    try {
        readSchema(db);
        if (logMode)
            useRollbackJournal(db);
        // FULL makes a posted row (an archived ticket) survive a power cut.
        runOrThrow(db, QStringLiteral("PRAGMA synchronous=FULL")).finish();
        runOrThrow(db, QStringLiteral("PRAGMA foreign_keys=OFF")).finish();
        if (!store::registerFunctions(db))
            throw AppError(QStringLiteral("数据库引擎不支持本程序的求和函数"));
        readOnly_ = store::openedReadOnly(db);
        struct stat st {};
        const QByteArray encoded = QFile::encodeName(filePath_);
        if (::stat(encoded.constData(), &st) == 0) {
            device_ = quint64(st.st_dev);
            inode_ = quint64(st.st_ino);
        }
    } catch (...) {
        db.close();
        throw;
    }
    ++generation_;
}

// Reads the tables and their columns and refuses a file that lacks one the
// program uses. Reads only: nothing is written before this passes.
void Connection::readSchema(QSqlDatabase &db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("PRAGMA schema_version")) || !q.next()) {
        const QSqlError e = q.lastError();
        q.finish();
        db.close();
        refuseToRead(filePath_, e);
    }
    const qint64 version = q.value(0).toLongLong();
    q.finish();
    struct stat st {};
    const QByteArray encoded = QFile::encodeName(filePath_);
    const bool identified = ::stat(encoded.constData(), &st) == 0;
    SchemaSnapshot &cached = schemaCache()[filePath_];
    if (identified && cached.version == version && cached.device == quint64(st.st_dev)
        && cached.inode == quint64(st.st_ino)) {
        tables_ = cached.tables;
        return;
    }
    QHash<QString, QList<Column>> tables;
    if (!q.exec(QStringLiteral("SELECT m.name, p.name, p.type, p.pk FROM sqlite_schema AS m "
                               "JOIN pragma_table_info(m.name) AS p WHERE m.type IN ('table', 'view') "
                               "ORDER BY m.name, p.cid"))) {
        const QSqlError e = q.lastError();
        db.close();
        refuseToRead(filePath_, e);
    }
    while (q.next())
        tables[q.value(0).toString().toLower()].append(
            Column{q.value(1).toString(), q.value(2).toString(), q.value(3).toInt() > 0});
    const QSqlError e = q.lastError();
    q.finish();
    if (e.isValid()) {
        db.close();
        refuseToRead(filePath_, e);
    }
    const QStringList missing = missingFrom(tables);
    if (!missing.isEmpty()) {
        db.close();
        notOurs(filePath_, QStringLiteral("缺少") + missing.join(QStringLiteral("、")));
    }
    tables_ = tables;
    if (identified)
        cached = SchemaSnapshot{version, quint64(st.st_dev), quint64(st.st_ino), tables};
}

// A file left in WAL mode by an earlier version keeps recent rows in
// data.mdb-wal; switching back folds them into data.mdb and removes the log.
void Connection::useRollbackJournal(QSqlDatabase &db)
{
    QSqlQuery q = runOrThrow(db, QStringLiteral("PRAGMA journal_mode"));
    const QString mode = q.next() ? q.value(0).toString().toLower() : QString();
    q.finish();
    if (mode != QLatin1String("wal"))
        return;
    q = runOrThrow(db, QStringLiteral("PRAGMA journal_mode=DELETE"));
    const QString now = q.next() ? q.value(0).toString().toLower() : QString();
    q.finish();
    if (now != QLatin1String("delete"))
        throw AppError(QStringLiteral("无法把数据库文件“%1”转换为单文件模式：另一个程序正在使用它")
                           .arg(nativePath(filePath_)));
}

void Connection::close()
{
    if (openTransactions_ > 0)
        throw AppError(QStringLiteral("数据库连接在事务未结束时不能关闭"));
    statements_.clear();
    if (onServer()) {
        // The till's one connection stays; only this window's use of it ends.
        opened_ = false;
        readDepth_ = 0;
        return;
    }
    if (!QSqlDatabase::contains(name_))
        return;
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (db.isOpen())
        db.close();
    readDepth_ = 0;
}

QSqlQuery &Connection::statement(const QString &sql)
{
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
        QSqlQuery q(database());
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            store::throwEngineError(q.lastError());
        it = statements_.insert(sql, q);
    }
    return *it;
}

bool Connection::fileReplaced() const
{
    if (onServer())
        return false;
    struct stat st {};
    const QByteArray encoded = QFile::encodeName(filePath_);
    if (::stat(encoded.constData(), &st) != 0)
        return true;
    return quint64(st.st_dev) != device_ || quint64(st.st_ino) != inode_;
}

bool Connection::fileWritableNow() const
{
    if (onServer())
        return true;
    const QByteArray file = QFile::encodeName(filePath_);
    const QByteArray folder = QFile::encodeName(QFileInfo(filePath_).absolutePath());
    // The journal is made beside the file. Asked with the rights the engine
    // writes with (the effective ones), as it will find them.
    return ::faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) == 0
        && ::faccessat(AT_FDCWD, folder.constData(), W_OK, AT_EACCESS) == 0;
}

bool Connection::isOpen() const
{
    if (store::ServerSession *server = store::ServerSession::active())
        return opened_ && server->isOpen();
    return QSqlDatabase::contains(name_) && QSqlDatabase::database(name_, false).isOpen();
}

QSqlDatabase Connection::database() const
{
    if (store::ServerSession *server = store::ServerSession::active()) {
        // A statement run on it belongs to the read begun.
        server->startPendingRead();
        return server->database();
    }
    return QSqlDatabase::database(name_, false);
}

const QList<Connection::Column> *Connection::tableColumns(const QString &table) const
{
    const auto it = tables_.constFind(table.toLower());
    return it == tables_.cend() ? nullptr : &*it;
}

void Connection::addMissingIndexes()
{
    // The server's database is made whole by its script.
    if (onServer())
        return;
    if (!isOpen())
        open();
    QSqlDatabase db = database();
    for (const schema::ColumnIndex &index : schema::columnIndexes()) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = ?")))
            store::throwEngineError(q.lastError());
        q.addBindValue(index.name);
        if (!q.exec() || !q.next())
            store::throwEngineError(q.lastError());
        const bool present = q.value(0).toInt() > 0;
        q.finish();
        if (present)
            continue;
        if (!q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2(%3) WHERE %3 IS NOT NULL")
                        .arg(store::quotedName(index.name), store::quotedName(index.table),
                             store::quotedName(index.column))))
            throw AppError(QStringLiteral("无法为数据库文件“%1”建立索引：%2")
                               .arg(nativePath(filePath_), store::engineMessage(q.lastError())));
        q.finish();
    }
}

void Connection::requireWritable()
{
    if (onServer())
        return;
    if (!isOpen())
        open();
    QSqlDatabase db = database();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    auto fail = [&](const QSqlError &e) {
        q.finish();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        if (store::classify(e) == store::EngineFailure::ReadOnly
            || store::classify(e) == store::EngineFailure::CantOpen)
            throw AppError(QStringLiteral("数据库文件“%1”不能写入(文件或它所在的文件夹是只读的)，"
                                          "程序无法记录销售，不能启动")
                               .arg(nativePath(filePath_)));
        throw AppError(QStringLiteral("数据库文件“%1”不能写入：%2").arg(nativePath(filePath_), store::engineMessage(e)));
    };
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        fail(q.lastError());
    const qint64 userVersion = q.value(0).toLongLong();
    q.finish();
    // Rewriting the header's user version touches the first page, which needs
    // the journal beside the file; the rollback leaves the file as it was.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        fail(q.lastError());
    if (!q.exec(QStringLiteral("PRAGMA user_version=%1").arg(userVersion)))
        fail(q.lastError());
    q.finish();
    if (!q.exec(QStringLiteral("ROLLBACK")))
        fail(q.lastError());
}

qint64 Connection::dataVersion(const QString &table)
{
    if (onServer()) {
        const QString key = table.toLower();
        const qint64 n = serverVersion(key);
        const auto seen = seen_.constFind(key);
        if (seen != seen_.cend() && *seen + 1 == n && unabsorbed_.contains(key)
            && store::ServerSession::active()->inTransaction()) {
            // This connection's own write inside its transaction (counted
            // once per transaction), not another's change.
            seen_.insert(key, n);
            unabsorbed_.remove(key);
        } else if (seen == seen_.cend() || *seen != n) {
            seen_.insert(key, n);
            ++versions_[key];
        }
        return versions_.value(key);
    }
    QSqlQuery &q = statement(QStringLiteral("PRAGMA data_version"));
    if (!q.exec() || !q.next()) {
        const QSqlError e = q.lastError();
        q.finish();
        store::throwEngineError(e);
    }
    const qint64 v = q.value(0).toLongLong();
    q.finish();
    return v;
}

quint64 Connection::snapshotSerial() const
{
    store::ServerSession *server = store::ServerSession::active();
    return server ? server->snapshotSerial() : 0;
}

quint64 Connection::writeSerial(const QString &table) const
{
    return writes_.value(table.toLower());
}

void Connection::noteWrite(const QString &table)
{
    ++writes_[table.toLower()];
    if (!onServer())
        return;
    unabsorbed_.insert(table.toLower());
    store::ServerSession::active()->forgetChangeCounts();
    if (!store::ServerSession::active()->inTransaction())
        absorbOwnWrites();
}

void Connection::beginTransaction()
{
    if (!isOpen())
        open();
    if (store::ServerSession *server = store::ServerSession::active()) {
        server->begin(store::ServerSession::Scope::Write);
    } else {
        // Every transaction here writes. Taking the write lock at the start
        // waits for another program's write like any statement does; a
        // transaction that first read and then wanted to write would be
        // refused at once instead.
        QSqlQuery q(database());
        if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
            store::throwEngineError(q.lastError());
    }
    ++openTransactions_;
}

// Run as statements rather than through QSqlDatabase::commit() and
// rollback(): those drop the engine's error code, which tells a full disk or
// a busy file from other failures. A commit that fails has rolled back.
void Connection::commitTransaction()
{
    if (store::ServerSession *server = store::ServerSession::active()) {
        --openTransactions_;
        server->end(true);
        if (!server->inTransaction())
            absorbOwnWrites();
        return;
    }
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const QSqlError e = q.lastError();
        q.finish();
        rollbackTransaction();
        store::throwEngineError(e);
    }
    q.finish();
    --openTransactions_;
}

void Connection::rollbackTransaction()
{
    --openTransactions_;
    if (store::ServerSession *server = store::ServerSession::active()) {
        server->end(false);
        return;
    }
    QSqlQuery q(database());
    q.exec(QStringLiteral("ROLLBACK"));
    q.finish();
}

bool Connection::sessionCurrent() const
{
    store::ServerSession *server = store::ServerSession::active();
    return server && server->isOpen() && server->generation() == sessionGeneration_;
}

// Each table's changes are counted on the server (data/schema-pg.sql), once
// per transaction that changed it.
qint64 Connection::serverVersion(const QString &table)
{
    if (!opened_ || !sessionCurrent())
        open();
    const QString schema = schemaOf_.value(table, QStringLiteral("public"));
    return store::ServerSession::active()->changeCount(schema + QLatin1Char('.') + tableNames_.value(table, table));
}

void Connection::absorbOwnWrites()
{
    const QSet<QString> tables = std::exchange(unabsorbed_, {});
    store::ServerSession::active()->forgetChangeCounts();
    for (const QString &table : tables) {
        const auto seen = seen_.constFind(table);
        if (seen == seen_.cend())
            continue;
        try {
            if (serverVersion(table) == *seen + 1)
                seen_.insert(table, *seen + 1);
        } catch (const AppError &e) {
            // Told as a change at the next look, which reads the rows again.
            qCWarning(lcStore, "server: the count of changes was not read: %s", qPrintable(e.message()));
        }
    }
}

void Connection::openOnServer()
{
    store::ServerSession *server = store::ServerSession::active();
    server->open();
    filePath_ = server->settings().connection;
    if (server->generation() != sessionGeneration_) {
        statements_.clear();
        QSqlQuery q = server->run(
            QStringLiteral("SELECT n.nspname, c.relname, a.attname, format_type(a.atttypid, a.atttypmod), "
                           "coalesce(i.indisprimary, false) FROM pg_class c "
                           "JOIN pg_namespace n ON n.oid = c.relnamespace "
                           "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
                           "LEFT JOIN pg_index i ON i.indrelid = c.oid AND i.indisprimary AND a.attnum = ANY(i.indkey) "
                           "WHERE c.relkind IN ('r', 'v', 'p') AND n.nspname IN (?, 'public') "
                           "ORDER BY n.nspname = 'public', c.relname, a.attnum"),
            {server->tillSchema()});
        QHash<QString, QList<Column>> tables;
        QHash<QString, QString> schemas, names;
        while (q.next()) {
            const QString schema = q.value(0).toString();
            const QString table = q.value(1).toString().toLower();
            // The till's own table hides a shared one of the same name, as
            // the search path does.
            if (schemas.contains(table) && schemas.value(table) != schema)
                continue;
            schemas.insert(table, schema);
            names.insert(table, q.value(1).toString());
            // The key column stands for SQLite's rowid: not a column of the lists.
            if (q.value(2).toString() == QLatin1String("rowid")) {
                tables[table];
                continue;
            }
            tables[table].append(Column{q.value(2).toString(), q.value(3).toString(), q.value(4).toBool()});
        }
        q.finish();
        const QStringList missing = missingFrom(tables);
        if (!missing.isEmpty())
            throw AppError(QStringLiteral("数据库服务器上的数据库不是本程序的：缺少%1(请用 data/schema-pg.sql 建立)")
                               .arg(missing.join(QStringLiteral("、"))));
        tables_ = tables;
        schemaOf_ = schemas;
        tableNames_ = names;
        sessionGeneration_ = server->generation();
        // What was seen on an earlier connection may have changed meanwhile.
        seen_.clear();
        unabsorbed_.clear();
        openTransactions_ = 0;
        readDepth_ = 0;
    }
    opened_ = true;
    ++generation_;
}

Connection::ReadScope::ReadScope(Connection &connection) : connection_(connection)
{
    if (connection_.readDepth_++ > 0 || !connection_.isOpen())
        return;
    if (store::ServerSession *server = store::ServerSession::active()) {
        try {
            server->begin(store::ServerSession::Scope::Read);
        } catch (...) {
            --connection_.readDepth_;
            throw;
        }
        began_ = true;
        return;
    }
    try {
        QSqlQuery &q = connection_.statement(QStringLiteral("SAVEPOINT velmora_read"));
        if (!q.exec())
            store::throwEngineError(q.lastError());
        q.finish();
    } catch (...) {
        --connection_.readDepth_;
        throw;
    }
    began_ = true;
}

Connection::ReadScope::~ReadScope()
{
    if (connection_.readDepth_ > 0)
        --connection_.readDepth_;
    if (!began_)
        return;
    if (store::ServerSession *server = store::ServerSession::active()) {
        server->end(false);
        return;
    }
    if (!connection_.isOpen())
        return;
    // A failed read may already have ended the transaction; nothing to undo then.
    try {
        QSqlQuery &q = connection_.statement(QStringLiteral("RELEASE velmora_read"));
        const bool released = q.exec();
        const QSqlError error = q.lastError();
        q.finish();
        if (released)
            return;
        // A read that met a damaged page leaves the engine unable to end the
        // read by releasing it; it must be rolled back, or the file stays
        // locked by this very program and every later write fails as busy.
        qCWarning(lcStore, "a read could not be ended (%s); it is rolled back", qPrintable(error.text()));
        QSqlQuery undo(connection_.database());
        if (connection_.inTransaction()) {
            undo.exec(QStringLiteral("ROLLBACK TO velmora_read"));
            undo.exec(QStringLiteral("RELEASE velmora_read"));
        } else {
            undo.exec(QStringLiteral("ROLLBACK"));
        }
        undo.finish();
    } catch (const AppError &e) {
        // Not preparable any more: the connection is failing, and the next
        // statement says why.
        qCWarning(lcStore, "a read could not be ended: %s", qPrintable(e.message()));
    }
}

QSqlQuery Connection::run(const QString &sql, const QVariantList &values)
{
    if (store::ServerSession *server = store::ServerSession::active()) {
        if (!server->inTransaction())
            server->open(); // again, when the server ended the last one
        if (!opened_ || !sessionCurrent()) {
            opened_ = false;
            openOnServer();
        }
        return server->run(sql, values);
    }
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        store::throwEngineError(q.lastError());
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        const QSqlError e = q.lastError();
        q.finish();
        store::throwEngineError(e);
    }
    return q;
}

QString Connection::tableName(const QString &table) const
{
    // SQLite takes a name in any case; the server only as it was made.
    return tableNames_.value(table.toLower(), table);
}

QString Connection::columnName(const QString &table, const QString &column) const
{
    const QList<Column> *columns = tableColumns(table);
    if (!columns)
        store::throwMissing(QStringLiteral("no such table: %1").arg(table));
    for (const Column &c : *columns) {
        if (c.name.compare(column, Qt::CaseInsensitive) == 0)
            return c.name;
    }
    store::throwMissing(QStringLiteral("no such column: %1").arg(column));
}
