#include "store/Backup.h"

#include "base/AppError.h"
#include "base/Log.h"
#include "store/Clock.h"
#include "store/Engine.h"
#include "store/Schema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace backup {

namespace {

const QString kSection = QStringLiteral("backup");
const QString kKey = QStringLiteral("folder");
// A copy being written: never of a backup's name.
const QString kPartSuffix = QStringLiteral(".part");
// Pages of one step at most, however often the copy had to begin again:
// a step this size still holds the file for some milliseconds only.
constexpr int kMostPagesPerStep = 2048;
// How long the copy waits, all told, for another program that holds the file.
constexpr int kMostBusyMs = 30000;
// How long a copy that begins again and again (the file written all the
// time) goes on before the backup gives up until the next time.
constexpr qint64 kMostCopyingMs = 15 * 60 * 1000;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

const QRegularExpression &namePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^data-(\\d{8})-(\\d{6})\\.mdb$"));
    return pattern;
}

// An open engine connection, closed however the step that made it ends.
class Db {
public:
    Db() = default;
    ~Db() { close(); }
    Db(const Db &) = delete;
    Db &operator=(const Db &) = delete;
    // Returns the engine's result code.
    int open(const QString &path, int flags)
    {
        close();
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &h_, flags, nullptr);
        if (rc != SQLITE_OK)
            errno_ = h_ ? sqlite3_system_errno(h_) : 0;
        return rc;
    }
    void close()
    {
        if (h_)
            sqlite3_close_v2(h_);
        h_ = nullptr;
    }
    sqlite3 *get() const { return h_; }
    int systemErrno() const { return h_ ? sqlite3_system_errno(h_) : errno_; }
    QString message() const { return h_ ? QString::fromUtf8(sqlite3_errmsg(h_)) : QString(); }

private:
    sqlite3 *h_ = nullptr;
    int errno_ = 0;
};

// One statement's rows as text; the engine's result code in *rc.
QList<QStringList> query(sqlite3 *db, const QString &sql, int *rc)
{
    QList<QStringList> rows;
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    *rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr);
    if (*rc != SQLITE_OK)
        return rows;
    while ((*rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            row << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)));
        rows << row;
    }
    if (*rc == SQLITE_DONE)
        *rc = SQLITE_OK;
    sqlite3_finalize(stmt);
    return rows;
}

bool isBusy(int rc)
{
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

// What went wrong writing or reading a file, in the cashier's words.
QString whyFailed(int rc, int systemErrno, const QString &engineText)
{
    switch (rc & 0xff) {
    case SQLITE_FULL:
        return store::systemErrorText(ENOSPC);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("文件已损坏");
    default:
        break;
    }
    if (systemErrno != 0)
        return store::systemErrorText(systemErrno);
    if ((rc & 0xff) == SQLITE_READONLY)
        return store::systemErrorText(EROFS);
    return engineText.isEmpty() ? QString::fromUtf8(sqlite3_errstr(rc)) : engineText;
}

// Written through to the disk (the file or the folder that names it).
bool syncPath(const QString &path, bool folder)
{
    const int fd = ::open(QFile::encodeName(path).constData(), (folder ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Rows of each of the program's tables.
QMap<QString, qint64> countRows(sqlite3 *db, int *rc)
{
    QMap<QString, qint64> rows;
    for (const schema::TableColumns &t : schema::requiredTables()) {
        const QList<QStringList> r =
            query(db, QStringLiteral("SELECT count(*) FROM %1").arg(store::quotedName(t.table)), rc);
        if (*rc != SQLITE_OK)
            return {};
        rows[t.table] = r.value(0).value(0).toLongLong();
    }
    return rows;
}

// Why a file is no whole database of this program, or an empty text: the
// engine finds no damage, and the seven tables are there with the columns
// the program uses (as a data.mdb is checked when it is opened).
QString problemOf(sqlite3 *db)
{
    int rc = SQLITE_OK;
    const QList<QStringList> check = query(db, QStringLiteral("PRAGMA integrity_check"), &rc);
    if (rc != SQLITE_OK)
        return whyFailed(rc, sqlite3_system_errno(db), QString::fromUtf8(sqlite3_errmsg(db)));
    if (check.size() != 1 || check.value(0).value(0) != QLatin1String("ok")) {
        qCWarning(lcStore, "integrity check: %s", qPrintable(check.value(0).value(0).left(200)));
        return QStringLiteral("文件已损坏");
    }
    QStringList missing;
    for (const schema::TableColumns &t : schema::requiredTables()) {
        const QList<QStringList> columns =
            query(db, QStringLiteral("SELECT name FROM pragma_table_info(%1)").arg(
                          QLatin1Char('\'') + QString(t.table).replace(QLatin1Char('\''), QStringLiteral("''"))
                          + QLatin1Char('\'')),
                  &rc);
        if (rc != SQLITE_OK)
            return whyFailed(rc, sqlite3_system_errno(db), QString::fromUtf8(sqlite3_errmsg(db)));
        if (columns.isEmpty()) {
            missing << QStringLiteral("表“%1”").arg(t.table);
            continue;
        }
        for (const QString &c : t.columns) {
            const bool has = std::any_of(columns.cbegin(), columns.cend(), [&](const QStringList &row) {
                return row.value(0).compare(c, Qt::CaseInsensitive) == 0;
            });
            if (!has)
                missing << QStringLiteral("表“%1”的列“%2”").arg(t.table, c);
        }
    }
    if (!missing.isEmpty())
        return QStringLiteral("缺少") + missing.join(QStringLiteral("、"));
    return {};
}

// A file that is not SQLite at all is told as such before the engine reads it.
QString headerProblem(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return f.error() == QFileDevice::PermissionsError ? store::systemErrorText(EACCES)
                                                          : QStringLiteral("无法读取");
    static const QByteArray magic("SQLite format 3\0", 16);
    if (f.size() < 100 || !f.read(100).startsWith(magic))
        return QStringLiteral("它不是本程序的数据库文件");
    return {};
}

// Copies of an earlier run that a kill or a power cut left behind; one
// younger than an hour may be another till's, writing into a shared stick.
void removeStaleParts(const QDir &dir)
{
    static const QRegularExpression part(QStringLiteral("^data-\\d{8}-\\d{6}\\.mdb\\.part$"));
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    for (const QFileInfo &f : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
        if (part.match(f.fileName()).hasMatch() && f.lastModified() < hourAgo && !QFile::remove(f.filePath()))
            qCWarning(lcStore, "an old unfinished backup could not be removed: %s", qPrintable(f.filePath()));
    }
}

struct Cancelled {};

} // namespace

QString defaultFolder(const QString &databaseFile)
{
    return QFileInfo(databaseFile).absoluteDir().filePath(kDefaultFolderName);
}

QString folderFor(const QString &databaseFile, const QString &iniPath)
{
    const QString set = store::TillSettings(iniPath).text(kSection, kKey);
    if (set.isEmpty())
        return defaultFolder(databaseFile);
    return QDir::cleanPath(QFileInfo(databaseFile).absoluteDir().absoluteFilePath(set));
}

void setFolder(const QString &folder, const QString &iniPath)
{
    store::setTillSettings(iniPath, kSection, {{kKey, store::iniValue(folder.trimmed())}},
                           QStringLiteral("备份文件夹没有改变"));
}

QString fileName(const QDateTime &taken)
{
    return QStringLiteral("data-%1.mdb").arg(taken.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

std::optional<QDateTime> takenAt(const QString &name)
{
    const auto m = namePattern().match(name);
    if (!m.hasMatch())
        return std::nullopt;
    const QDateTime t = QDateTime::fromString(m.captured(1) + m.captured(2), QStringLiteral("yyyyMMddHHmmss"));
    if (!t.isValid())
        return std::nullopt;
    return t;
}

QStringList toDelete(const QStringList &names, const QDateTime &now)
{
    struct Backup {
        QString name;
        QDateTime taken;
    };
    std::vector<Backup> all;
    for (const QString &n : names) {
        if (const auto t = takenAt(n))
            all.push_back({n, *t});
    }
    // Newest first: the first seen of a day or month is the one it keeps.
    std::sort(all.begin(), all.end(), [](const Backup &a, const Backup &b) { return a.taken > b.taken; });
    const QDate today = now.date();
    const int thisMonth = today.year() * 12 + today.month() - 1;
    QSet<QDate> days;
    QSet<int> months;
    QStringList out;
    for (size_t i = 0; i < all.size(); ++i) {
        const QDate day = all[i].taken.date();
        const int month = day.year() * 12 + day.month() - 1;
        bool keep = i < 10;
        if (day.daysTo(today) < 30 && !days.contains(day)) {
            days.insert(day);
            keep = true;
        }
        if (thisMonth - month < 12 && !months.contains(month)) {
            months.insert(month);
            keep = true;
        }
        if (!keep)
            out << all[i].name;
    }
    return out;
}

namespace {

// One attempt at the copy into `part`; throws AppError with the reason
// alone, or Cancelled. Returns false when the copy must begin again.
bool copyOnce(const QString &databaseFile, const QString &part, const Options &options, Taken &taken)
{
    Db src;
    if (const int rc = src.open(databaseFile, SQLITE_OPEN_READONLY); rc != SQLITE_OK)
        throw AppError(QStringLiteral("无法读取数据库文件“%1”(%2)")
                           .arg(native(databaseFile), whyFailed(rc, src.systemErrno(), src.message())));
    QFile::remove(part);
    Db dst;
    if (const int rc = dst.open(part, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE); rc != SQLITE_OK)
        throw AppError(whyFailed(rc, dst.systemErrno(), dst.message()));
    // The copy is of no use until it is whole and checked: no journal, and
    // the sync is made once, at the end.
    int rc = SQLITE_OK;
    query(dst.get(), QStringLiteral("PRAGMA journal_mode=OFF"), &rc);
    query(dst.get(), QStringLiteral("PRAGMA synchronous=OFF"), &rc);

    sqlite3_backup *copy = sqlite3_backup_init(dst.get(), "main", src.get(), "main");
    if (!copy)
        throw AppError(whyFailed(sqlite3_errcode(dst.get()), dst.systemErrno(), dst.message()));
    struct Finish {
        sqlite3_backup *&b;
        ~Finish()
        {
            if (b)
                sqlite3_backup_finish(b);
        }
    } finish{copy};

    int pages = std::max(1, options.pagesPerStep);
    int lastRemaining = -1;
    const qint64 pageCount = query(src.get(), QStringLiteral("PRAGMA page_count"), &rc).value(0).value(0).toLongLong();
    QElapsedTimer busy;
    QElapsedTimer copying;
    copying.start();
    const auto waitWhileBusy = [&] {
        // Another program holds the file: the cashier goes first.
        if (!busy.isValid())
            busy.start();
        if (busy.elapsed() > kMostBusyMs)
            throw AppError(QStringLiteral("数据库文件一直被另一个程序占用"));
        QThread::msleep(20);
    };
    for (;;) {
        if (options.cancel && options.cancel->load())
            throw Cancelled{};
        // The last step is made inside one read of the file that also
        // counts its rows: what is copied and what is counted are one state,
        // since no other connection can write while the read holds the file.
        const bool last = (lastRemaining >= 0 ? lastRemaining : pageCount) <= pages;
        QMap<QString, qint64> rows;
        if (last) {
            query(src.get(), QStringLiteral("BEGIN"), &rc);
            rows = countRows(src.get(), &rc);
            if (rc != SQLITE_OK) {
                int end = SQLITE_OK;
                query(src.get(), QStringLiteral("COMMIT"), &end);
                if (!isBusy(rc))
                    throw AppError(QStringLiteral("无法读取数据库文件“%1”(%2)")
                                       .arg(native(databaseFile), whyFailed(rc, src.systemErrno(), src.message())));
                waitWhileBusy();
                continue;
            }
        }
        QElapsedTimer stepTime;
        stepTime.start();
        rc = sqlite3_backup_step(copy, pages);
        const qint64 stepMs = stepTime.elapsed();
        if (last) {
            int end = SQLITE_OK;
            query(src.get(), QStringLiteral("COMMIT"), &end);
        }
        if (rc == SQLITE_DONE && last) {
            taken.rows = rows;
            if (options.progress)
                options.progress(0, sqlite3_backup_pagecount(copy));
            break;
        }
        if (rc == SQLITE_DONE) {
            // The file shrank under the copy: it is begun again.
            return false;
        }
        if (rc == SQLITE_OK) {
            busy.invalidate();
            const int remaining = sqlite3_backup_remaining(copy);
            // More left than before: another connection wrote, and the copy
            // began again. Larger steps get through sooner next time.
            if (lastRemaining >= 0 && remaining > lastRemaining) {
                ++taken.restarts;
                if (copying.elapsed() > kMostCopyingMs)
                    throw AppError(QStringLiteral("数据库一直在写入，这次没能备份完"));
                pages = std::min(pages * 2, kMostPagesPerStep);
            }
            lastRemaining = remaining;
            if (options.progress)
                options.progress(remaining, sqlite3_backup_pagecount(copy));
            // The file is free at least as long as a step held it: a write
            // of the cashier's waits for one step at most, and rarely.
            if (options.pauseMs > 0)
                QThread::msleep(ulong(std::max<qint64>(options.pauseMs, stepMs)));
            continue;
        }
        if (isBusy(rc)) {
            waitWhileBusy();
            continue;
        }
        throw AppError(whyFailed(rc, dst.systemErrno(), dst.message()));
    }
    rc = sqlite3_backup_finish(copy);
    copy = nullptr;
    if (rc != SQLITE_OK)
        throw AppError(whyFailed(rc, dst.systemErrno(), dst.message()));
    dst.close();
    if (!syncPath(part, false))
        throw AppError(store::systemErrorText(errno));
    return true;
}

// The copy checked as a backup must be: whole, the program's, and holding
// the rows counted in data.mdb as it was copied.
QString checkCopy(const QString &part, const QMap<QString, qint64> &rows)
{
    Db db;
    if (const int rc = db.open(part, SQLITE_OPEN_READONLY); rc != SQLITE_OK)
        return whyFailed(rc, db.systemErrno(), db.message());
    if (const QString problem = problemOf(db.get()); !problem.isEmpty())
        return problem;
    int rc = SQLITE_OK;
    const QMap<QString, qint64> copied = countRows(db.get(), &rc);
    if (rc != SQLITE_OK)
        return whyFailed(rc, db.systemErrno(), db.message());
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        if (copied.value(it.key(), -1) != it.value())
            return QStringLiteral("副本的表“%1”有%2行，数据库有%3行")
                .arg(it.key())
                .arg(copied.value(it.key(), -1))
                .arg(it.value());
    }
    return {};
}

} // namespace

Taken take(const QString &databaseFile, const QString &folder, const QDateTime &now, const Options &options)
{
    const auto fail = [&](const QString &why) {
        return AppError(QStringLiteral("数据没有备份到文件夹“%1”：%2").arg(native(folder), why));
    };
    QDir dir(folder);
    if (!dir.exists()) {
        // Only the folder of our own making is made: another (a USB stick
        // not plugged in) would be made on the till's own disk instead.
        if (QDir::cleanPath(dir.absolutePath()) != QDir::cleanPath(defaultFolder(databaseFile)))
            throw fail(QStringLiteral("文件夹不存在(U盘是否插好？)"));
        if (::mkdir(QFile::encodeName(dir.absolutePath()).constData(), 0777) != 0 && errno != EEXIST)
            throw fail(store::systemErrorText(errno));
    }
    if (::faccessat(AT_FDCWD, QFile::encodeName(dir.absolutePath()).constData(), W_OK | X_OK, AT_EACCESS) != 0)
        throw fail(store::systemErrorText(errno));
    removeStaleParts(dir);

    Taken taken;
    const QString final = dir.absoluteFilePath(fileName(now));
    const QString part = final + kPartSuffix;
    try {
        bool done = false;
        for (int attempt = 0; attempt < 3 && !done; ++attempt)
            done = copyOnce(databaseFile, part, options, taken);
        if (!done)
            throw AppError(QStringLiteral("数据库一直在写入，这次没能备份完"));
        if (const QString problem = checkCopy(part, taken.rows); !problem.isEmpty())
            throw AppError(QStringLiteral("备份的副本没有通过检查(%1)").arg(problem));
        if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(final).constData()) != 0)
            throw AppError(store::systemErrorText(errno));
    } catch (const AppError &e) {
        QFile::remove(part);
        throw fail(e.message());
    } catch (const Cancelled &) {
        QFile::remove(part);
        throw;
    }
    syncPath(dir.absolutePath(), true);
    taken.file = final;

    for (const QString &old : toDelete(dir.entryList(QDir::Files), now)) {
        if (!dir.remove(old))
            qCWarning(lcStore, "an old backup could not be removed: %s", qPrintable(dir.absoluteFilePath(old)));
    }
    qCInfo(lcStore, "backup %s taken (%d restarts)", qPrintable(final), taken.restarts);
    return taken;
}

QList<Summary> list(const QString &folder)
{
    QList<Summary> out;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files)) {
        const auto taken = takenAt(name);
        if (!taken)
            continue;
        Summary s;
        s.file = dir.absoluteFilePath(name);
        s.taken = *taken;
        s.problem = headerProblem(s.file);
        if (s.problem.isEmpty()) {
            Db db;
            int rc = db.open(s.file, SQLITE_OPEN_READONLY);
            QList<QStringList> r;
            if (rc == SQLITE_OK)
                r = query(db.get(), QStringLiteral("SELECT count(*), max(%1) FROM %2")
                                        .arg(store::quotedName(schema::col::shijian), store::quotedName(schema::xstj)),
                          &rc);
            if (rc == SQLITE_OK) {
                s.tickets = r.value(0).value(0).toLongLong();
                s.lastSale = r.value(0).value(1);
            } else {
                s.problem = whyFailed(rc, db.systemErrno(), db.message());
            }
        }
        out << s;
    }
    std::sort(out.begin(), out.end(), [](const Summary &a, const Summary &b) { return a.taken > b.taken; });
    return out;
}

QString restore(const QString &backupFile, const QString &databaseFile, const QDateTime &now)
{
    const auto refuse = [&](const QString &why) {
        return AppError(QStringLiteral("备份文件“%1”不能用来恢复：%2。数据没有改变。").arg(native(backupFile), why));
    };
    if (const QString problem = headerProblem(backupFile); !problem.isEmpty())
        throw refuse(problem);
    // Copied first and checked where it will be used: a stick that reads
    // wrong cannot slip a damaged copy past the check.
    const QString staged = databaseFile + QStringLiteral(".restoring");
    QFile::remove(staged);
    if (!QFile::copy(backupFile, staged)) {
        QFile::remove(staged);
        throw refuse(QStringLiteral("无法把它复制到“%1”").arg(native(QFileInfo(databaseFile).absolutePath())));
    }
    // Whoever could use data.mdb can use the restored one.
    QFile::setPermissions(staged, QFile::permissions(databaseFile) | QFile::ReadOwner | QFile::WriteOwner);
    QString problem;
    {
        Db db;
        if (const int rc = db.open(staged, SQLITE_OPEN_READONLY); rc != SQLITE_OK)
            problem = whyFailed(rc, db.systemErrno(), db.message());
        else
            problem = problemOf(db.get());
    }
    if (problem.isEmpty() && !syncPath(staged, false))
        problem = store::systemErrorText(errno);
    if (!problem.isEmpty()) {
        QFile::remove(staged);
        throw refuse(problem);
    }

    // The current file stays, under a dated name, whatever happens next: a
    // second name for it first, so that data.mdb is never missing.
    const QString aside =
        databaseFile + QStringLiteral(".before-restore-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray current = QFile::encodeName(databaseFile);
    if (::link(current.constData(), QFile::encodeName(aside).constData()) != 0) {
        const int error = errno;
        QFile::remove(staged);
        throw AppError(QStringLiteral("无法把当前的数据库文件另存为“%1”(%2)，数据没有恢复。")
                           .arg(native(aside), store::systemErrorText(error)));
    }
    if (::rename(QFile::encodeName(staged).constData(), current.constData()) != 0) {
        const int error = errno;
        QFile::remove(aside);
        QFile::remove(staged);
        throw AppError(QStringLiteral("无法把备份放到“%1”(%2)，数据没有恢复。")
                           .arg(native(databaseFile), store::systemErrorText(error)));
    }
    syncPath(QFileInfo(databaseFile).absolutePath(), true);
    qCInfo(lcStore, "%s restored from %s; the former file is %s", qPrintable(databaseFile), qPrintable(backupFile),
           qPrintable(aside));
    return aside;
}

struct Runner::Outcome {
    std::atomic<bool> done{false}; // the worker has filled it in
    bool ok = false;
    bool cancelled = false;
    QString file;
    QString message;
};

Runner::Runner(QString databaseFile, QString iniPath, QObject *parent)
    : QObject(parent), databaseFile_(std::move(databaseFile)), iniPath_(std::move(iniPath))
{
}

Runner::~Runner()
{
    stop();
}

namespace {
void runOne(const QString &databaseFile, const QString &folder, const QDateTime &now, const Options &options,
            bool *ok, bool *cancelled, QString *file, QString *message)
{
    try {
        *file = take(databaseFile, folder, now, options).file;
        *ok = true;
    } catch (const AppError &e) {
        *message = e.message();
    } catch (const Cancelled &) {
        *cancelled = true;
    }
}
} // namespace

void Runner::start()
{
    // A worker that ended is told now, before its report arrives: the
    // thread whose events carry it may not have looked at them yet.
    if (worker_ && current_->done) {
        worker_->join();
        worker_.reset();
        report(current_);
    }
    if (worker_)
        return;
    QString folder;
    try {
        folder = folderFor(databaseFile_, iniPath_);
    } catch (const AppError &e) {
        auto outcome = std::make_shared<Outcome>();
        outcome->message = QStringLiteral("数据没有备份：%1").arg(e.message());
        report(outcome);
        return;
    }
    cancel_ = false;
    Options options = options_;
    options.cancel = &cancel_;
    const QDateTime now = appclock::now();
    auto outcome = std::make_shared<Outcome>();
    current_ = outcome;
    worker_ = std::make_unique<std::thread>([this, options, folder, now, outcome, file = databaseFile_] {
        runOne(file, folder, now, options, &outcome->ok, &outcome->cancelled, &outcome->file, &outcome->message);
        outcome->done = true;
        // Told on the thread the runner lives on; a runner stopped meanwhile
        // has joined this thread already and drops the outcome.
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                if (!worker_ || outcome != current_)
                    return;
                worker_->join();
                worker_.reset();
                report(outcome);
            },
            Qt::QueuedConnection);
    });
}

void Runner::stop()
{
    if (!worker_)
        return;
    cancel_ = true;
    worker_->join();
    worker_.reset();
}

void Runner::takeNow()
{
    stop();
    QString folder;
    auto outcome = std::make_shared<Outcome>();
    try {
        folder = folderFor(databaseFile_, iniPath_);
    } catch (const AppError &e) {
        outcome->message = QStringLiteral("数据没有备份：%1").arg(e.message());
        report(outcome);
        return;
    }
    Options options = options_;
    options.cancel = nullptr;
    options.pauseMs = 0; // nobody sells any more
    runOne(databaseFile_, folder, appclock::now(), options, &outcome->ok, &outcome->cancelled,
           &outcome->file, &outcome->message);
    report(outcome);
}

void Runner::report(const std::shared_ptr<Outcome> &outcome)
{
    if (outcome->cancelled) {
        qCInfo(lcStore, "a backup was stopped");
    } else if (outcome->ok) {
        failing_ = false;
        emit succeeded(outcome->file);
    } else {
        qCWarning(lcStore, "%s", qPrintable(outcome->message));
        if (!failing_) {
            failing_ = true;
            emit failed(outcome->message);
        }
    }
    emit finished();
}

} // namespace backup
