#pragma once
// A till of a shop whose tills share one PostgreSQL server. The till is
// told where the server is in velmora.ini beside data.mdb:
//
//   [server]
//   connection=host=192.168.1.10 port=5432 dbname=shop user=till
//   till=2
//
// The password is never in the file: libpq reads it from ~/.pgpass (or the
// file PGPASSFILE names). Without the file or the section the till works on
// data.mdb alone.
//
// The session is the till's connection to the server: it makes the till's
// own tables at its first start (its working ticket, print settings and
// printing marks, in the schema till_NN; everything else is shared), holds
// the till's number for as long as the program runs (a second program with
// the same number is refused; the server frees the number when the program
// ends in any way, a till that lost power within about a minute through TCP
// keepalives), and tells a server that went away in the cashier's words.
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <memory>
#include <optional>
#include <vector>

class QSqlError;

namespace store {

struct ServerSettings {
    QString connection; // a libpq connection string, key=value form
    int till = 0;       // 1..99
};

// The [server] section of velmora.ini; nullopt when the file or the section
// is not there. Throws AppError naming the file and the key for a value the
// till cannot work with (no connection, a till number outside 1..99, a
// password written into the file).
std::optional<ServerSettings> readServerSettings(const QString &iniPath = QStringLiteral("velmora.ini"));

// What a failed statement on the server means, in the same words as the
// single file's messages (busy, full, read-only, a missing table), plus the
// server being out of reach. Empty when the error is none of those.
QString serverMessage(const QSqlError &error);
// The server could not be reached or ended the connection.
bool serverLost(const QSqlError &error);

class ServerSession {
public:
    // How long a statement waits for another till's lock before "busy".
    static constexpr int kLockTimeoutMs = 2000;

    explicit ServerSession(ServerSettings settings, QString name = QStringLiteral("velmora-server"));
    ~ServerSession();
    ServerSession(const ServerSession &) = delete;
    ServerSession &operator=(const ServerSession &) = delete;

    const ServerSettings &settings() const { return settings_; }
    // The schema of this till's own tables, "till_02" for till 2.
    QString tillSchema() const;

    // Connects, makes the till's tables when they are not there yet, and
    // takes the till's number. Throws AppError: the server out of reach
    // ("无法连接数据库服务器…"), the number in use by another program, a
    // database that is not a shop's.
    void open();
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;

    // Runs one statement with its values in the order of its "?" marks.
    // A connection the server ended is told as such (AppError), and opened
    // again at the next call, number and all.
    QSqlQuery run(const QString &sql, const QVariantList &values = {});

    // Bumped at every connection made: statements prepared on an earlier
    // one, and its temporary tables, are gone.
    int generation() const { return generation_; }
    // A failed statement run outside run() (its error came back through the
    // store's error reporting): a connection the server ended is made anew
    // at the next step.
    void noteError(const QSqlError &error);

    // Every window of the till works through this one connection, so scopes
    // nest: the outermost begins the server's transaction (a read, one
    // snapshot of every table; a write, statement by statement), an inner
    // write a savepoint, an inner read nothing. They end in reverse order.
    enum class Scope { Read, Write };
    void begin(Scope scope);
    // Throws AppError when a commit fails; a rollback never throws.
    void end(bool commit);
    bool inTransaction() const { return !levels_.empty(); }
    // An outermost read begins its transaction with its first statement: a
    // read answered from what a list holds costs the server nothing.
    void startPendingRead();
    quint64 snapshotSerial() const { return snapshots_; }

    // How often each table changed (velmora_versions, by "schema.table"),
    // read once per turn of the event loop and after each own write.
    qint64 changeCount(const QString &table);
    void forgetChangeCounts() { counts_.clear(); }

    // The session the program runs on; nullptr on data.mdb.
    static ServerSession *active();
    static void setActive(ServerSession *session);

private:
    [[noreturn]] void fail(const QSqlError &error);
    bool exec(const QString &sql, QSqlError *error);

    // A statement with its values written in, as the driver writes them:
    // one exchange with the server instead of three (prepare, execute,
    // deallocate).
    QString withValues(const QString &sql, const QVariantList &values) const;

    struct Level {
        int generation = 0;
        bool began = false;  // the outermost: BEGIN .. COMMIT
        bool pending = false; // the outermost read, before its first statement
        QString savepoint;   // an inner write
    };
    QHash<QString, qint64> counts_;
    quint64 snapshots_ = 0;
    quint64 countsSnapshot_ = 0; // the state the counts were read in; 0: none
    // Lets a timer the session set know whether the session is still there.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    ServerSettings settings_;
    QString name_;
    bool lost_ = false;
    int generation_ = 0;
    std::vector<Level> levels_;
};

} // namespace store
