#pragma once
// A disk that refuses writes on demand. An SQLite file system layer is put in
// front of the default one for this process, so every connection of the
// program (and of the test) goes through it: from a chosen operation on, every
// write, sync, truncation and deletion of data.mdb or its journal fails with
// the error a failing disk gives, until the disk is mended.
#include <QString>
#include <QStringList>

namespace testing {

class FaultyDisk {
public:
    enum class Op { Write, Sync, Truncate, Delete };
    enum class File { Database, Journal };
    enum class Failure { IoError, Full };

    FaultyDisk();  // in place for every connection opened from now on
    ~FaultyDisk(); // the default layer again
    FaultyDisk(const FaultyDisk &) = delete;
    FaultyDisk &operator=(const FaultyDisk &) = delete;

    // The n-th `op` on `file` (1-based, counted from this call) and every
    // writing operation after it fail: a write with SQLITE_FULL or
    // SQLITE_IOERR_WRITE, a sync, truncation or deletion with its I/O error.
    void refuseFrom(Op op, File file, int n, Failure failure = Failure::IoError);
    void mend();
    // Operations refused since refuseFrom().
    int refused() const;
    // The writing operations seen since refuseFrom(), one word each
    // ("journal write", "database sync", ...), for a failure message.
    QStringList seen() const;
};

} // namespace testing
