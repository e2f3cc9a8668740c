#pragma once
// When data.mdb is backed up (store/Backup.h): once somebody logged in at
// start, after every 50th sale and when the program closes; never with a
// database server. And the restore an administrator asks for in 系统设置,
// followed by a restart of the program on the restored file.
#include <QString>
#include <functional>

namespace app {

// Backups of the data.mdb at that path from now on, the first one begun at
// once (beside the cashier). Does nothing when velmora.ini names a server.
void startBackups(const QString &databaseFile);
// A sale was archived: every 50th begins a backup.
void saleArchived();
// The program closes: a backup running now is stopped, `whenStopped` runs,
// and a backup is taken and waited for. None after a restore.
void backupAtClose(const std::function<void()> &whenStopped = {});
// No more backups (a running one is stopped, leaving nothing behind).
void stopBackups();

// Puts the backup in the place of data.mdb and starts the program again on
// it; a backup that fails its check is refused (AppError) and nothing changes.
void restoreBackup(const QString &backupFile, const QString &databaseFile);

// Backups are taken as above unless turned off (the benchmark times them in
// rows of their own, apart from the cashier's other steps).
void setAutomaticBackups(bool on);

// How the program starts again: by default the own executable with the same
// arguments in the same working directory, then this one quits. Tests put
// their own (an empty function restores the default).
void setRestart(std::function<void()> restart);

} // namespace app
