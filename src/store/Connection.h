#pragma once
// A connection to data.mdb. The data source named in the connection string is
// resolved against the current directory each time the connection opens, so a
// reconnection follows the process's current directory as it is then.
//
// Opening refuses a file that is not a database of this program (empty, not
// SQLite, or missing one of the seven tables or a column of them) before
// anything is written to it, and turns a file left in write-ahead-log mode
// back to the rollback journal, so that data.mdb alone holds every committed
// row (shops back up that one file).
#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace connstr {
// The database password stays in the strings; SQLite does not check it.
inline constexpr char16_t kPassword[] = u"260418937115";
// Design-time strings: relative data source "data.mdb".
QString designShort();
QString designLong();
// Run-time string: the absolute path of data.mdb in the current directory now.
QString runtime();
// The value of "Data Source" in a connection string (quotes removed).
QString dataSource(const QString &connectionString);
} // namespace connstr

namespace store {
class ServerSession;
}

class Connection {
public:
    struct Column {
        QString name;
        QString type;
        bool primaryKey = false;
    };

    // How long a statement waits for another program's lock before it fails.
    static constexpr int kBusyTimeoutMs = 2000;

    explicit Connection(QString connectionString = connstr::designShort());
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setConnectionString(const QString &text);
    const QString &connectionString() const { return connectionString_; }
    // No prompt is ever shown; kept so the reconnection reads as its steps.
    void setLoginPrompt(bool) {}

    // Opens data.mdb as found now; throws AppError naming the file when it is
    // missing (it is never created empty) or is not a database of this program.
    void open();

    // With a session, every connection of the program works through it on
    // the shop's server instead of on data.mdb (velmora.ini [server]).
    static void useServer(store::ServerSession *session);
    static bool onServer();
    // The SQL the two engines write differently: a column's sum by the
    // program's fixed-point rule (an integer in units of 0.0001, null when
    // it does not fit), "contains" with the text bound after it, and the
    // "+" that keeps SQLite's planner off a column's index.
    static QString sumOf(const QString &quotedColumn);
    static QString likeMark();
    static QString noIndex();
    // After an ascending order: nulls first, as SQLite lists them.
    static QString nullsFirst();
    // A temporary table's name as statements name it.
    static QString temporary(const QString &quotedName);
    // Throws AppError while a transaction is open: closing would roll it
    // back without anyone knowing.
    void close();
    bool isOpen() const;

    QSqlDatabase database() const;
    QString filePath() const { return filePath_; }
    // The engine opened the file for reading only (it could not be written
    // then); it stays so until the connection is opened again.
    bool openedReadOnly() const { return readOnly_; }
    // The file at the path is no longer the one opened (moved, deleted or
    // replaced by another file).
    bool fileReplaced() const;
    // The file and its folder take writes now.
    bool fileWritableNow() const;
    // Bumped at every open, so queries know their cached metadata is stale.
    int generation() const { return generation_; }

    // Kept by the transaction guard (store/Transaction.h). Throw AppError
    // with the engine's reason; a rollback never throws.
    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction();
    bool inTransaction() const { return openTransactions_ > 0; }
    // The columns of a table of the open file, in order; nullptr when there
    // is no such table.
    const QList<Column> *tableColumns(const QString &table) const;
    // A table's name as the database spells it (names match case-blind).
    QString tableName(const QString &table) const;
    // A column's name as the file spells it (names match case-blind), so
    // that only a name the file has goes into SQL. Throws AppError, as the
    // engine does, for a table or column that is not there.
    QString columnName(const QString &table, const QString &column) const;

    // Throws AppError naming the file when it cannot be written (a read-only
    // file, or a read-only folder where the journal cannot be created). It
    // writes nothing: a change is begun and rolled back.
    void requireWritable();

    // Adds the indexes of schema::columnIndexes() that the file lacks (a
    // data.mdb of an earlier version); writes nothing when none is missing.
    void addMissingIndexes();

    // Changes to the table committed by other connections (other windows,
    // other programs, other tills) since the last call differ in this
    // number. On data.mdb it is SQLite's data_version, for the whole file.
    qint64 dataVersion(const QString &table);
    // Bumped whenever a read begins on the server (0 on data.mdb): the
    // changes are then counted again, as of the state that read sees.
    quint64 snapshotSerial() const;
    // Writes made through this connection, per table.
    quint64 writeSerial(const QString &table) const;
    void noteWrite(const QString &table);

    // Reads made inside one scope see one state of the file: a savepoint that
    // holds the shared lock until the scope ends (so never across events).
    class ReadScope {
    public:
        explicit ReadScope(Connection &connection);
        ~ReadScope();
        ReadScope(const ReadScope &) = delete;
        ReadScope &operator=(const ReadScope &) = delete;

    private:
        Connection &connection_;
        bool began_ = false;
    };

    // Runs one statement with its values in the order of its "?" marks,
    // read forward only. Throws AppError with the engine's error.
    QSqlQuery run(const QString &sql, const QVariantList &values = {});

private:
    // Returns whether the file is in write-ahead-log mode (its header says so).
    bool checkFile(const QString &path) const;
    // A statement the connection runs again and again, prepared once while
    // the connection is open.
    QSqlQuery &statement(const QString &sql);
    void readSchema(QSqlDatabase &db);
    void openOnServer();
    qint64 serverVersion(const QString &table);
    // The server's count of the table's changes now includes this
    // connection's own, and nobody else's since it last looked: it is not
    // told back as another's change.
    void absorbOwnWrites();
    bool sessionCurrent() const;
    void useRollbackJournal(QSqlDatabase &db);

    QString connectionString_;
    QString name_;
    QString filePath_;
    int generation_ = 0;
    bool readOnly_ = false;
    quint64 device_ = 0;
    quint64 inode_ = 0;
    int openTransactions_ = 0;
    int readDepth_ = 0;
    QHash<QString, QList<Column>> tables_; // by lower-case name
    QHash<QString, quint64> writes_;
    QHash<QString, QSqlQuery> statements_;
    // On the server.
    bool opened_ = false;
    int sessionGeneration_ = -1;
    QHash<QString, QString> schemaOf_;  // by lower-case table name
    QHash<QString, QString> tableNames_; // by lower-case table name
    QHash<QString, qint64> seen_;       // the server's count as last seen
    QHash<QString, qint64> versions_;   // what dataVersion() tells
    QSet<QString> unabsorbed_;          // written inside the transaction
};
