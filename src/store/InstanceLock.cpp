#include "store/InstanceLock.h"

#include "store/Engine.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// Why flock on a descriptor of data.mdb of its own:
// - The lock belongs to the file (its device and inode), not to the name it
//   was reached by: a lock file named after the path gave a symbolic link or
//   a hard link to data.mdb a lock of its own, and two copies then wrote into
//   one file (one emptied the other's working ticket at its start).
// - SQLite locks the same file with POSIX (fcntl) byte-range locks. On Linux
//   flock locks and POSIX locks are separate kinds that never conflict, so this
//   lock never holds off SQLite: neither this program's connections nor a
//   backup tool's reads and writes.
// - Closing any descriptor of a file drops every POSIX lock the process holds
//   on it, SQLite's included. So this descriptor is opened once and closed only
//   at the end of the run, after the program's connections are closed; no
//   other descriptor of data.mdb is opened and closed for the lock.
// (On NFS Linux emulates flock with POSIX locks; SQLite's own locking is not
// safe on NFS either, so a till's data.mdb belongs on a local disk.)

namespace store {

InstanceLock::~InstanceLock()
{
    release();
}

InstanceLock::Result InstanceLock::acquire(const QString &databasePath)
{
    release();
    error_.clear();
    const QByteArray path = QFile::encodeName(databasePath);
    // Read-only is enough for flock; close-on-exec keeps the lock from a help
    // viewer started by the program, which could outlive it.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error_ = store::systemErrorText(errno);
        return Result::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return Result::HeldElsewhere;
        error_ = store::systemErrorText(err);
        return Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

void InstanceLock::release()
{
    if (fd_ >= 0) {
        ::close(fd_); // closing the one descriptor drops the flock with it
        fd_ = -1;
    }
}

} // namespace store
