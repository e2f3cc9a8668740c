#pragma once
// One running program per data.mdb, however the file is reached: the lock is
// taken on the file itself, so a second copy started through a symbolic link,
// a hard link or another spelling of the folder finds it held. The kernel
// drops the lock when the holder ends in any way, so a crashed program never
// leaves it stuck, and nothing is written beside data.mdb for it.
#include <QString>

namespace store {

class InstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Unavailable };

    InstanceLock() = default;
    // Releases the lock: only once every connection of the program to the
    // file is closed (see InstanceLock.cpp).
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Tries once, without waiting. Unavailable: the file could not be opened
    // or locked (errorText() says why).
    Result acquire(const QString &databasePath);
    void release();
    bool held() const { return fd_ >= 0; }
    QString errorText() const { return error_; }

private:
    int fd_ = -1;
    QString error_;
};

} // namespace store
