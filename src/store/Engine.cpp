#include "store/Engine.h"

#include "base/Log.h"
#include "base/AppError.h"
#include "store/NumberText.h"
#include "store/Server.h"

#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>

namespace store {

EngineFailure classify(const QSqlError &error)
{
    if (!error.isValid())
        return EngineFailure::None;
    bool ok = false;
    const int extended = error.nativeErrorCode().toInt(&ok);
    const int code = extended & 0xff; // primary code of an extended one
    const QString text = error.databaseText();
    if (ok && extended == SQLITE_READONLY_DBMOVED)
        return EngineFailure::Moved;
    if (ok) {
        switch (code) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return EngineFailure::Busy;
        case SQLITE_FULL:
            return EngineFailure::Full;
        case SQLITE_READONLY:
            return EngineFailure::ReadOnly;
        case SQLITE_CANTOPEN:
            return EngineFailure::CantOpen;
        case SQLITE_NOTADB:
            return EngineFailure::NotADatabase;
        case SQLITE_CORRUPT:
            return EngineFailure::Corrupt;
        case SQLITE_IOERR:
            return EngineFailure::IoError;
        default:
            break;
        }
    }
    if (text.startsWith(QLatin1String("no such table")) || text.startsWith(QLatin1String("no such column"))
        || text.contains(QLatin1String("has no column named")))
        return EngineFailure::MissingSchema;
    return EngineFailure::Other;
}

namespace {
QString &fileInUse()
{
    static QString path;
    return path;
}
} // namespace

void setDatabaseFile(const QString &path)
{
    fileInUse() = path;
}

const QString &databaseFile()
{
    return fileInUse();
}

// Which table or column the engine did not find, in the cashier's words.
QString missingName(const QString &engine)
{
    static const QRegularExpression table(QStringLiteral("^no such table: (.*)$"));
    static const QRegularExpression column(QStringLiteral("^no such column: (.*)$"));
    static const QRegularExpression named(QStringLiteral("^table (.*) has no column named (.*)$"));
    if (const auto m = table.match(engine); m.hasMatch())
        return QStringLiteral("：表“%1”").arg(m.captured(1));
    if (const auto m = column.match(engine); m.hasMatch())
        return QStringLiteral("：列“%1”").arg(m.captured(1));
    if (const auto m = named.match(engine); m.hasMatch())
        return QStringLiteral("：表“%1”的列“%2”").arg(m.captured(1), m.captured(2));
    return {};
}

QString engineMessage(const QSqlError &error)
{
    QString engine = error.databaseText();
    if (engine.isEmpty())
        engine = error.text();
    ServerSession *server = ServerSession::active();
    if (server && (error.nativeErrorCode().size() == 5 || serverLost(error))) {
        // The server's errors are told by their SQLSTATE; a connection it
        // ended is made anew at the next step.
        server->noteError(error);
        const QString what = serverMessage(error);
        qCWarning(lcStore, "server: %s [%s]", qPrintable(engine), qPrintable(error.nativeErrorCode()));
        return what.isEmpty() ? engine : what;
    }
    QString what;
    switch (classify(error)) {
    case EngineFailure::Busy:
        what = QStringLiteral("数据库正忙，另一个程序正在使用数据库文件，请稍后再试");
        break;
    case EngineFailure::Full:
        what = QStringLiteral("磁盘已满，数据库无法写入");
        break;
    case EngineFailure::ReadOnly:
        what = QStringLiteral("数据库文件或它所在的文件夹是只读的，无法写入");
        break;
    case EngineFailure::Moved:
        what = QStringLiteral("数据库文件在程序运行时被移走或替换了，请退出程序，确认数据库文件无误后重新启动");
        break;
    case EngineFailure::CantOpen:
        what = QStringLiteral("无法打开数据库文件");
        break;
    case EngineFailure::NotADatabase:
        what = QStringLiteral("这不是本程序的数据库文件");
        break;
    case EngineFailure::Corrupt:
        what = databaseFile().isEmpty()
            ? QStringLiteral("数据库文件已损坏，请从备份恢复")
            : QStringLiteral("数据库文件“%1”已损坏，请从备份恢复").arg(QDir::toNativeSeparators(databaseFile()));
        break;
    case EngineFailure::IoError:
        what = QStringLiteral("读写数据库文件时出错");
        break;
    case EngineFailure::MissingSchema:
        what = QStringLiteral("数据库缺少本程序需要的表或列") + missingName(engine);
        break;
    case EngineFailure::None:
    case EngineFailure::Other:
        return engine;
    }
    // The cashier reads Chinese only; the engine's own words are for support.
    qCWarning(lcStore, "engine: %s", qPrintable(engine));
    return what;
}

QString systemErrorText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case EROFS:
        return QStringLiteral("文件系统是只读的");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘已满");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹");
    case ENAMETOOLONG:
        return QStringLiteral("路径太长");
    case EIO:
        return QStringLiteral("读写磁盘时出错");
    case EBUSY:
    case EAGAIN:
        return QStringLiteral("文件正被占用");
    default:
        return QStringLiteral("系统错误%1").arg(error);
    }
}

void throwEngineError(const QSqlError &error)
{
    throw AppError(engineMessage(error));
}

void throwMissing(const QString &what)
{
    throwEngineError(QSqlError(QString(), what, QSqlError::StatementError, QStringLiteral("1")));
}

void addStored(Fixed4Sum &sum, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return;
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (ok)
        sum.add(d);
}

namespace {

void sumStep(sqlite3_context *context, int, sqlite3_value **argv)
{
    auto *sum = static_cast<Fixed4Sum *>(sqlite3_aggregate_context(context, sizeof(Fixed4Sum)));
    if (!sum)
        return; // out of memory: the final step reports it
    // A text that reads as a number counts as one, as the column would convert it.
    switch (sqlite3_value_numeric_type(argv[0])) {
    case SQLITE_INTEGER:
        sum->add(static_cast<double>(sqlite3_value_int64(argv[0])));
        break;
    case SQLITE_FLOAT:
        sum->add(sqlite3_value_double(argv[0]));
        break;
    default:
        break;
    }
}

void sumFinal(sqlite3_context *context)
{
    auto *sum = static_cast<Fixed4Sum *>(sqlite3_aggregate_context(context, 0));
    if (!sum) { // no row at all
        sqlite3_result_int64(context, 0);
        return;
    }
    if (const auto r = sum->result())
        sqlite3_result_int64(context, *r);
    else
        sqlite3_result_null(context);
}

// The n smallest keys seen: a max-heap, so the largest kept key is dropped first.
struct LowestKeys {
    std::vector<qint64> *heap;
    int n;
};

void keysStep(sqlite3_context *context, int, sqlite3_value **argv)
{
    auto *keys = static_cast<LowestKeys *>(sqlite3_aggregate_context(context, sizeof(LowestKeys)));
    if (!keys)
        return;
    if (!keys->heap) {
        keys->heap = new std::vector<qint64>;
        keys->n = std::max(0, sqlite3_value_int(argv[1]));
    }
    const qint64 key = sqlite3_value_int64(argv[0]);
    std::vector<qint64> &h = *keys->heap;
    if (static_cast<int>(h.size()) < keys->n) {
        h.push_back(key);
        std::push_heap(h.begin(), h.end());
    } else if (!h.empty() && key < h.front()) {
        std::pop_heap(h.begin(), h.end());
        h.back() = key;
        std::push_heap(h.begin(), h.end());
    }
}

void keysFinal(sqlite3_context *context)
{
    auto *keys = static_cast<LowestKeys *>(sqlite3_aggregate_context(context, 0));
    if (!keys || !keys->heap) {
        sqlite3_result_zeroblob(context, 0);
        return;
    }
    std::vector<qint64> &h = *keys->heap;
    std::sort_heap(h.begin(), h.end());
    sqlite3_result_blob(context, h.data(), static_cast<int>(h.size() * sizeof(qint64)), SQLITE_TRANSIENT);
    delete keys->heap;
    keys->heap = nullptr;
}

} // namespace

std::vector<qint64> lowestKeys(const QVariant &blob)
{
    const QByteArray bytes = blob.toByteArray();
    std::vector<qint64> keys(static_cast<size_t>(bytes.size()) / sizeof(qint64));
    if (!keys.empty())
        std::memcpy(keys.data(), bytes.constData(), keys.size() * sizeof(qint64));
    return keys;
}

namespace {
sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}
} // namespace

bool openedReadOnly(const QSqlDatabase &db)
{
    sqlite3 *h = handleOf(db);
    return h && sqlite3_db_readonly(h, "main") == 1;
}

bool registerFunctions(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *h = *static_cast<sqlite3 *const *>(handle.constData());
    if (!h)
        return false;
    return sqlite3_create_function_v2(h, "velmora_sum4", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                                      sumStep, sumFinal, nullptr)
            == SQLITE_OK
        && sqlite3_create_function_v2(h, "velmora_lowest_keys", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      nullptr, keysStep, keysFinal, nullptr)
            == SQLITE_OK;
}

QString quotedName(const QString &identifier)
{
    QString escaped = identifier;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace store
