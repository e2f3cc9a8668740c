#pragma once
// Backups of data.mdb, made while the till sells.
//
// A backup is an online copy made with the engine's own backup (never a
// copy of the live file, which a change half-written would damage), into a
// folder of backups: 备份 beside data.mdb, or the one velmora.ini names in
// [backup] folder= (a USB stick). It is written under a temporary name,
// checked (the engine finds no damage, the seven tables are there and hold
// as many rows as were copied) and only then renamed to its own name,
// data-<yyyyMMdd>-<HHmmss>.mdb: a file of that name is always a whole
// backup. The copy goes in steps of a few hundred pages with a pause between
// them, each step holding the file for a moment only, so the cashier's
// writes never wait long. Of the backups, the last 10 are kept, one a day
// for 30 days and one a month for 12 months; only files of that name are
// ever deleted.
#include "store/TillSettings.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace backup {

// A backup is taken after every so many checkouts (besides start and close).
inline constexpr int kEveryCheckouts = 50;
inline const QString kDefaultFolderName = QStringLiteral("备份");

// The folder of backups for the data.mdb at that path: [backup] folder= of
// the settings file (relative to data.mdb's folder), else 备份 beside it.
// Throws AppError when the settings file cannot be read.
QString folderFor(const QString &databaseFile, const QString &iniPath = store::kTillSettingsFile);
QString defaultFolder(const QString &databaseFile);
// Writes [backup] folder=; an empty folder goes back to the default.
void setFolder(const QString &folder, const QString &iniPath = store::kTillSettingsFile);

// "data-20261210-143005.mdb" for a backup taken at that time.
QString fileName(const QDateTime &taken);
// The time a backup's file name gives; nothing for any other name.
std::optional<QDateTime> takenAt(const QString &fileName);

// The names among these backups that the keeping rule lets go: the newest
// 10 stay, and the newest of each of the last 30 days and of each of the
// last 12 months (counted back from `now`, the current one included).
// Names not of a backup are never among them.
QStringList toDelete(const QStringList &names, const QDateTime &now);

struct Options {
    int pagesPerStep = 256; // pages copied while the file is held
    int pauseMs = 2;        // between two steps
    // Set from another thread: the copy stops at its next step.
    const std::atomic<bool> *cancel = nullptr;
    // After each step: pages left and pages in all (a test kills the copy
    // in the middle).
    std::function<void(int remaining, int total)> progress;
};

struct Taken {
    QString file;                 // the backup's path
    QMap<QString, qint64> rows;   // rows of each table, as copied
    int restarts = 0;             // copies begun again after another connection wrote
};

// Takes one backup of the file into the folder, named by `now`, and lets
// older backups go by the keeping rule. The default folder is made when it
// is missing; another folder must be there. Throws AppError naming the
// folder and why (no such folder, not writable, disk full, the check found
// the copy wrong); nothing that looks like a backup is left then.
Taken take(const QString &databaseFile, const QString &folder, const QDateTime &now,
           const Options &options = {});

// A backup as the restore list shows it.
struct Summary {
    QString file;
    QDateTime taken;
    qint64 tickets = -1; // rows of xstj; -1 when the file cannot be read
    QString lastSale;    // the latest 时间 of xstj
    QString problem;     // why it cannot be read
};
// The backups of a folder, newest first (read, not checked whole).
QList<Summary> list(const QString &folder);

// Puts a backup in the place of data.mdb: the backup is copied beside
// data.mdb and checked there (no damage, the seven tables and their
// columns); the current file is kept as data.mdb.before-restore-<time>,
// and the copy renamed to data.mdb. Returns the name the current file is
// kept under. A backup that fails the check is refused with AppError naming
// it, and nothing changes. Nothing may have data.mdb open for writing
// meanwhile; the program starts again on the restored file.
QString restore(const QString &backupFile, const QString &databaseFile, const QDateTime &now);

// Takes backups on a worker thread of its own (its own connection to the
// file), one at a time, so the cashier never waits for one.
class Runner : public QObject {
    Q_OBJECT
public:
    Runner(QString databaseFile, QString iniPath, QObject *parent = nullptr);
    ~Runner() override; // a running backup is stopped (nothing is left of it)

    // Starts a backup unless one is running already (that one will do).
    void start();
    // The running backup, if any, stopped; then one taken on this thread
    // and its end reported before this returns (the program closing).
    void takeNow();
    // The running backup stopped and waited for.
    void stop();
    bool running() const { return worker_ != nullptr; }
    // Steps are smaller or slower in tests.
    void setOptions(const Options &options) { options_ = options; }

signals:
    void succeeded(const QString &file);
    // A backup failed; told only for the first failure after a success (or
    // the start), so the cashier is not told again at every checkout.
    void failed(const QString &message);
    void finished();

private:
    struct Outcome;
    void report(const std::shared_ptr<Outcome> &outcome);
    QString databaseFile_;
    QString iniPath_;
    Options options_;
    std::atomic<bool> cancel_{false};
    std::unique_ptr<std::thread> worker_;
    std::shared_ptr<Outcome> current_; // what the running worker fills in
    bool failing_ = false;
};

} // namespace backup
