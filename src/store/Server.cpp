#include "store/Server.h"

#include "base/AppError.h"
#include "base/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QCoreApplication>
#include <QTimer>

namespace store {

namespace {

QString where(const QString &path, const QString &key)
{
    return QStringLiteral("“%1”中[server]的%2").arg(QDir::toNativeSeparators(path), key);
}

// A value as it stands in the file: QSettings reads "a,b" as a list.
QString text(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).trimmed();
    return value.toString().trimmed();
}

// libpq's keys of a "key=value key='value'" string, lower-cased.
QStringList connectionKeys(const QString &connection)
{
    static const QRegularExpression pair(QStringLiteral(R"((\w+)\s*=\s*(?:'(?:[^'\\]|\\.)*'|\S*))"));
    QStringList keys;
    for (auto it = pair.globalMatch(connection); it.hasNext();)
        keys << it.next().captured(1).toLower();
    return keys;
}

// The server out of reach, a connection it ended, or one that broke.
bool isLostState(const QString &state)
{
    return state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01")
        || state == QLatin1String("57P02") || state == QLatin1String("57P03");
}

const QString kLost = QStringLiteral("无法连接数据库服务器，请检查网络和服务器后再试");

} // namespace

std::optional<ServerSettings> readServerSettings(const QString &iniPath)
{
    if (!QFileInfo::exists(iniPath))
        return std::nullopt;
    QSettings settings(iniPath, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        throw AppError(QStringLiteral("无法读取设置文件“%1”").arg(QDir::toNativeSeparators(iniPath)));
    if (!settings.childGroups().contains(QLatin1String("server")))
        return std::nullopt;
    settings.beginGroup(QStringLiteral("server"));

    ServerSettings out;
    out.connection = text(settings, QStringLiteral("connection"));
    if (out.connection.isEmpty())
        throw AppError(QStringLiteral("%1是空的：请写上数据库服务器的连接，例如 host=192.168.1.10 dbname=shop user=till")
                           .arg(where(iniPath, QStringLiteral("connection"))));
    if (out.connection.contains(QLatin1String("://")))
        throw AppError(QStringLiteral("%1请写成 host=… dbname=… user=… 的形式")
                           .arg(where(iniPath, QStringLiteral("connection"))));
    const QStringList keys = connectionKeys(out.connection);
    if (keys.contains(QLatin1String("password")))
        throw AppError(QStringLiteral("%1中不能写密码：密码请放在 ~/.pgpass 文件中")
                           .arg(where(iniPath, QStringLiteral("connection"))));
    if (out.connection.contains(QLatin1Char(';')))
        throw AppError(QStringLiteral("%1中不能有分号").arg(where(iniPath, QStringLiteral("connection"))));

    const QString till = text(settings, QStringLiteral("till"));
    bool ok = false;
    out.till = till.toInt(&ok);
    if (!ok || out.till < 1 || out.till > 99)
        throw AppError(QStringLiteral("%1“%2”不对：收银台编号必须是1到99")
                           .arg(where(iniPath, QStringLiteral("till")), till));
    return out;
}

bool serverLost(const QSqlError &error)
{
    if (!error.isValid())
        return false;
    if (isLostState(error.nativeErrorCode()))
        return true;
    if (error.type() == QSqlError::ConnectionError)
        return true;
    // libpq reports a connection that broke mid-statement without a state.
    const QString t = error.databaseText();
    return error.nativeErrorCode().isEmpty()
        && (t.contains(QLatin1String("server closed the connection")) || t.contains(QLatin1String("no connection"))
            || t.contains(QLatin1String("connection to server")) || t.contains(QLatin1String("terminating connection")));
}

QString serverMessage(const QSqlError &error)
{
    if (serverLost(error))
        return kLost;
    const QString state = error.nativeErrorCode();
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01") || state == QLatin1String("40001")
        || state == QLatin1String("57014"))
        return QStringLiteral("数据库正忙，另一台收银机正在使用这些数据，请稍后再试");
    if (state == QLatin1String("53100"))
        return QStringLiteral("数据库服务器的磁盘已满，无法写入");
    if (state == QLatin1String("25006"))
        return QStringLiteral("数据库服务器是只读的，无法写入");
    if (state == QLatin1String("42P01") || state == QLatin1String("42703") || state == QLatin1String("3F000")
        || state == QLatin1String("42883"))
        return QStringLiteral("数据库缺少本程序需要的表或列(服务器上的数据库请用 data/schema-pg.sql 建立)");
    if (state == QLatin1String("22021") || state == QLatin1String("22P05"))
        return QStringLiteral("文字中含有服务器无法保存的字符");
    return {};
}

ServerSession::ServerSession(ServerSettings settings, QString name)
    : settings_(std::move(settings)), name_(std::move(name))
{
}

ServerSession::~ServerSession()
{
    if (active() == this)
        setActive(nullptr);
    close();
    QSqlDatabase::removeDatabase(name_);
}

QString ServerSession::tillSchema() const
{
    return QStringLiteral("till_%1").arg(settings_.till, 2, 10, QLatin1Char('0'));
}

bool ServerSession::isOpen() const
{
    return QSqlDatabase::contains(name_) && QSqlDatabase::database(name_, false).isOpen();
}

QSqlDatabase ServerSession::database() const
{
    return QSqlDatabase::database(name_, false);
}

void ServerSession::fail(const QSqlError &error)
{
    qCWarning(lcStore, "server: %s [%s]", qPrintable(error.text()), qPrintable(error.nativeErrorCode()));
    if (serverLost(error)) {
        lost_ = true;
        throw AppError(kLost);
    }
    const QString message = serverMessage(error);
    throw AppError(message.isEmpty() ? error.text() : message);
}

void ServerSession::open()
{
    if (isOpen() && !lost_)
        return;
    close();
    QSqlDatabase db = QSqlDatabase::contains(name_) ? QSqlDatabase::database(name_, false)
                                                     : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
    if (!db.isValid())
        throw AppError(QStringLiteral("缺少PostgreSQL数据库驱动(请安装 libqt6sql6-psql)"));
    // A till that lost its power or its network frees its number once the
    // server has missed a minute of keepalives.
    db.setConnectOptions(settings_.connection
                         + QStringLiteral(" keepalives=1 keepalives_idle=30 keepalives_interval=10 "
                                          "keepalives_count=3 connect_timeout=10 application_name=velmora-till-%1")
                               .arg(settings_.till));
    if (!db.open()) {
        const QSqlError e = db.lastError();
        qCWarning(lcStore, "server: cannot connect: %s", qPrintable(e.text()));
        db.close();
        throw AppError(kLost + QStringLiteral("(") + e.databaseText().trimmed() + QStringLiteral(")"));
    }
    lost_ = false;
    ++generation_;
    levels_.clear();
    counts_.clear();
    try {
        // The sums' rule is exact arithmetic the JIT gains nothing on; a
        // lock another till holds is waited for, then told as busy.
        run(QStringLiteral("SET jit = off"));
        // The server's side of the same: a till gone silent is given up on
        // after about a minute, and its number freed.
        run(QStringLiteral("SET tcp_keepalives_idle = 30"));
        run(QStringLiteral("SET tcp_keepalives_interval = 10"));
        run(QStringLiteral("SET tcp_keepalives_count = 3"));
        run(QStringLiteral("SET lock_timeout = %1").arg(kLockTimeoutMs));
        QSqlQuery made = run(QStringLiteral("SELECT velmora_make_till(?)"), {settings_.till});
        const QString schema = made.next() ? made.value(0).toString() : QString();
        if (schema != tillSchema())
            throw AppError(QStringLiteral("数据库服务器上无法建立收银台%1的表").arg(settings_.till));
        // The number is held by this connection: the server lets it go when
        // the connection ends, however the program ended.
        QSqlQuery held = run(QStringLiteral("SELECT pg_try_advisory_lock(hashtext('velmora_till'), ?)"),
                             {settings_.till});
        if (!held.next() || !held.value(0).toBool())
            throw AppError(QStringLiteral("收银台%1已经在另一个程序中使用(同一台或另一台电脑)。"
                                          "每个收银台号只能由一个程序使用：请在velmora.ini的[server]中换一个till编号")
                               .arg(settings_.till));
        run(QStringLiteral("SET search_path = %1, public").arg(tillSchema()));
    } catch (...) {
        close();
        throw;
    }
}

void ServerSession::close()
{
    if (QSqlDatabase::contains(name_))
        QSqlDatabase::database(name_, false).close();
}

QSqlQuery ServerSession::run(const QString &sql, const QVariantList &values)
{
    if (lost_) {
        // A transaction's steps never go on, one by one, on a new connection.
        if (!levels_.empty())
            throw AppError(kLost);
        open();
    }
    for (const QVariant &v : values) {
        if (v.typeId() == QMetaType::QString && v.toString().contains(QChar(0)))
            throw AppError(QStringLiteral("文字中不能含有空字符(U+0000)"));
    }
    startPendingRead();
    QSqlDatabase db = database();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(values.isEmpty() ? sql : withValues(sql, values)))
        fail(q.lastError());
    return q;
}

QString ServerSession::withValues(const QString &sql, const QVariantList &values) const
{
    const QSqlDriver *driver = database().driver();
    QString out;
    out.reserve(sql.size() + 16 * values.size());
    qsizetype next = 0;
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            if (next >= values.size())
                throw AppError(QStringLiteral("语句的参数个数不对"));
            const QVariant &v = values.at(next++);
            QSqlField field(QString(), v.metaType());
            field.setValue(v);
            out += driver->formatValue(field);
            continue;
        }
        out += c;
    }
    if (next != values.size())
        throw AppError(QStringLiteral("语句的参数个数不对"));
    return out;
}

void ServerSession::startPendingRead()
{
    if (levels_.empty() || !levels_.front().pending)
        return;
    Level &level = levels_.front();
    level.pending = false;
    QSqlError error;
    // A read sees one state of every table for as long as it lasts (a count
    // and the rows it counted).
    if (!exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ"), &error))
        fail(error);
    level.began = true;
    // Counts read before this state began are read again when asked for
    // inside it.
    ++snapshots_;
}

qint64 ServerSession::changeCount(const QString &table)
{
    const bool inSnapshot = !levels_.empty() && levels_.front().began;
    if (inSnapshot && countsSnapshot_ != snapshots_)
        counts_.clear();
    if (counts_.isEmpty()) {
        QSqlQuery q = run(QStringLiteral("SELECT tbl, n FROM velmora_versions"));
        QHash<QString, qint64> counts;
        while (q.next())
            counts.insert(q.value(0).toString(), q.value(1).toLongLong());
        q.finish();
        // Never empty once read, so that a table no one changed yet is not
        // read again and again.
        counts.insert(QString(), 0);
        counts_ = counts;
        countsSnapshot_ = inSnapshot || (!levels_.empty() && levels_.front().began) ? snapshots_ : 0;
        // Read again at the next turn of the event loop: another till's
        // change shows by then.
        if (QCoreApplication::instance())
            QTimer::singleShot(0, QCoreApplication::instance(), [this, alive = std::weak_ptr<int>(alive_)] {
                if (!alive.expired())
                    counts_.clear();
            });
    }
    return counts_.value(table);
}

void ServerSession::noteError(const QSqlError &error)
{
    if (serverLost(error))
        lost_ = true;
}

bool ServerSession::exec(const QString &sql, QSqlError *error)
{
    QSqlQuery q(database());
    const bool ok = q.exec(sql);
    if (!ok && error)
        *error = q.lastError();
    q.finish();
    return ok;
}

void ServerSession::begin(Scope scope)
{
    if (lost_ || !isOpen())
        open();
    Level level;
    level.generation = generation_;
    QSqlError error;
    if (levels_.empty() && scope == Scope::Read) {
        level.pending = true;
    } else if (levels_.empty()) {
        level.began = true;
        // A write sees each statement's latest, and waits for another
        // till's row as a statement does.
        if (!exec(QStringLiteral("BEGIN"), &error))
            fail(error);
    } else if (scope == Scope::Write) {
        startPendingRead();
        level.savepoint = QStringLiteral("velmora_s%1").arg(levels_.size());
        if (!exec(QStringLiteral("SAVEPOINT ") + level.savepoint, &error))
            fail(error);
    }
    levels_.push_back(level);
}

void ServerSession::end(bool commit)
{
    if (levels_.empty())
        return;
    const Level level = levels_.back();
    levels_.pop_back();
    // The connection was made anew meanwhile: the server ended the
    // transaction with the old one.
    if (level.generation != generation_ || !isOpen())
        return;
    QSqlError error;
    bool ok = true;
    if (level.began) {
        // The server ends a transaction in which a statement failed with a
        // rollback, even when told to commit, and says so in nothing the
        // driver passes on: a statement first finds out.
        if (commit && !exec(QStringLiteral("SELECT 1"), &error)) {
            exec(QStringLiteral("ROLLBACK"), nullptr);
            fail(error);
        }
        ok = exec(commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"), &error);
    } else if (!level.savepoint.isEmpty()) {
        if (commit) {
            ok = exec(QStringLiteral("RELEASE SAVEPOINT ") + level.savepoint, &error);
        } else {
            ok = exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + level.savepoint, &error)
                && exec(QStringLiteral("RELEASE SAVEPOINT ") + level.savepoint, &error);
        }
    }
    if (ok)
        return;
    if (!commit) {
        qCWarning(lcStore, "server: a rollback failed: %s", qPrintable(error.text()));
        noteError(error);
        return;
    }
    fail(error);
}

namespace {
ServerSession *&activeSession()
{
    static ServerSession *session = nullptr;
    return session;
}
} // namespace

ServerSession *ServerSession::active()
{
    return activeSession();
}

void ServerSession::setActive(ServerSession *session)
{
    activeSession() = session;
}

} // namespace store
