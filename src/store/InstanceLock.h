#pragma once
// One running program per data.mdb: a lock on a file beside it
// ("data.mdb.lock"). The kernel drops the lock when the holder ends in any
// way, so a crashed program never leaves it stuck; a data.mdb in another
// folder has a lock of its own.
#include <QString>

namespace store {

class InstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Unavailable };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Tries once, without waiting. Unavailable: the lock file could not be
    // made or opened (errorText() says why).
    Result acquire(const QString &databasePath);
    void release();
    bool held() const { return fd_ >= 0; }
    QString errorText() const { return error_; }

    static QString lockPathFor(const QString &databasePath);

private:
    int fd_ = -1;
    QString error_;
};

} // namespace store
