#pragma once
// velmora.log: every message of the program's categories (and Qt's own
// warnings) appended with its time, level and category, to a file that is
// rotated by size (velmora.log, velmora.log.1 ... velmora.log.<keep>), so a
// till that runs for years keeps a few megabytes of its latest history.
#include <QString>

namespace logfile {

struct Limits {
    qint64 maxBytes = 1024 * 1024; // a file is rotated once it would pass this
    int keep = 5;                  // older files kept beside it
};

// Writes to `path` from now on; messages still go to standard error too.
// The folder must exist. Safe to call again (another path).
void install(const QString &path, Limits limits = {});
// Back to Qt's own handling; the file is closed.
void uninstall();
// The file written now; empty when none.
QString path();

} // namespace logfile
