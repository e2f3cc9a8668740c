#include "store/InstanceLock.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace store {

InstanceLock::~InstanceLock()
{
    release();
}

QString InstanceLock::lockPathFor(const QString &databasePath)
{
    return databasePath + QStringLiteral(".lock");
}

InstanceLock::Result InstanceLock::acquire(const QString &databasePath)
{
    release();
    error_.clear();
    const QByteArray path = QFile::encodeName(lockPathFor(databasePath));
    // Close-on-exec: a help viewer started by the program must not inherit
    // the lock and keep it after the program ends.
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC); // a lock file left in a read-only folder
    if (fd < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return Result::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return Result::HeldElsewhere;
        error_ = QString::fromLocal8Bit(std::strerror(err));
        return Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

void InstanceLock::release()
{
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace store
