#include "support/FaultyDisk.h"

#include <cstring>
#include <mutex>
#include <sqlite3.h>

namespace testing {

namespace {

struct State {
    std::mutex lock;
    bool armed = false;
    bool refusing = false;
    FaultyDisk::Op op = FaultyDisk::Op::Write;
    FaultyDisk::File file = FaultyDisk::File::Database;
    int countdown = 0;
    FaultyDisk::Failure failure = FaultyDisk::Failure::IoError;
    int refused = 0;
    QStringList seen;
};

State &state()
{
    static State s;
    return s;
}

sqlite3_vfs *real = nullptr;
sqlite3_vfs faulty;
sqlite3_io_methods methods;

struct Handle {
    sqlite3_file base;
    sqlite3_file *real;
    int kind; // 0 database, 1 journal, -1 any other file
};

const char *opWord(FaultyDisk::Op op)
{
    switch (op) {
    case FaultyDisk::Op::Write: return "write";
    case FaultyDisk::Op::Sync: return "sync";
    case FaultyDisk::Op::Truncate: return "truncate";
    case FaultyDisk::Op::Delete: return "delete";
    }
    return "?";
}

// Whether this writing operation fails; counts it towards the chosen one.
bool refuse(int kind, FaultyDisk::Op op)
{
    if (kind < 0)
        return false;
    State &s = state();
    std::lock_guard guard(s.lock);
    if (!s.armed)
        return false;
    s.seen << QLatin1String(kind == 0 ? "database " : "journal ") + QLatin1String(opWord(op));
    if (!s.refusing && op == s.op && kind == (s.file == FaultyDisk::File::Database ? 0 : 1) && --s.countdown == 0)
        s.refusing = true;
    if (s.refusing)
        ++s.refused;
    return s.refusing;
}

int errorFor(FaultyDisk::Op op)
{
    switch (op) {
    case FaultyDisk::Op::Write:
        return state().failure == FaultyDisk::Failure::Full ? SQLITE_FULL : SQLITE_IOERR_WRITE;
    case FaultyDisk::Op::Sync: return SQLITE_IOERR_FSYNC;
    case FaultyDisk::Op::Truncate: return SQLITE_IOERR_TRUNCATE;
    case FaultyDisk::Op::Delete: return SQLITE_IOERR_DELETE;
    }
    return SQLITE_IOERR;
}

sqlite3_file *inner(sqlite3_file *f)
{
    return reinterpret_cast<Handle *>(f)->real;
}

int kindOf(sqlite3_file *f)
{
    return reinterpret_cast<Handle *>(f)->kind;
}

int fClose(sqlite3_file *f)
{
    sqlite3_file *r = inner(f);
    const int rc = r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
    r->pMethods = nullptr;
    return rc;
}
int fRead(sqlite3_file *f, void *buf, int n, sqlite3_int64 at)
{
    return inner(f)->pMethods->xRead(inner(f), buf, n, at);
}
int fWrite(sqlite3_file *f, const void *buf, int n, sqlite3_int64 at)
{
    if (refuse(kindOf(f), FaultyDisk::Op::Write))
        return errorFor(FaultyDisk::Op::Write);
    return inner(f)->pMethods->xWrite(inner(f), buf, n, at);
}
int fTruncate(sqlite3_file *f, sqlite3_int64 size)
{
    if (refuse(kindOf(f), FaultyDisk::Op::Truncate))
        return errorFor(FaultyDisk::Op::Truncate);
    return inner(f)->pMethods->xTruncate(inner(f), size);
}
int fSync(sqlite3_file *f, int flags)
{
    if (refuse(kindOf(f), FaultyDisk::Op::Sync))
        return errorFor(FaultyDisk::Op::Sync);
    return inner(f)->pMethods->xSync(inner(f), flags);
}
int fFileSize(sqlite3_file *f, sqlite3_int64 *size)
{
    return inner(f)->pMethods->xFileSize(inner(f), size);
}
int fLock(sqlite3_file *f, int level)
{
    return inner(f)->pMethods->xLock(inner(f), level);
}
int fUnlock(sqlite3_file *f, int level)
{
    return inner(f)->pMethods->xUnlock(inner(f), level);
}
int fCheckReservedLock(sqlite3_file *f, int *out)
{
    return inner(f)->pMethods->xCheckReservedLock(inner(f), out);
}
int fFileControl(sqlite3_file *f, int op, void *arg)
{
    return inner(f)->pMethods->xFileControl(inner(f), op, arg);
}
int fSectorSize(sqlite3_file *f)
{
    return inner(f)->pMethods->xSectorSize(inner(f));
}
int fDeviceCharacteristics(sqlite3_file *f)
{
    return inner(f)->pMethods->xDeviceCharacteristics(inner(f));
}
int fShmMap(sqlite3_file *f, int region, int size, int extend, void volatile **out)
{
    return inner(f)->pMethods->xShmMap(inner(f), region, size, extend, out);
}
int fShmLock(sqlite3_file *f, int offset, int n, int flags)
{
    return inner(f)->pMethods->xShmLock(inner(f), offset, n, flags);
}
void fShmBarrier(sqlite3_file *f)
{
    inner(f)->pMethods->xShmBarrier(inner(f));
}
int fShmUnmap(sqlite3_file *f, int deleteFlag)
{
    return inner(f)->pMethods->xShmUnmap(inner(f), deleteFlag);
}
int fFetch(sqlite3_file *f, sqlite3_int64 at, int n, void **out)
{
    return inner(f)->pMethods->xFetch(inner(f), at, n, out);
}
int fUnfetch(sqlite3_file *f, sqlite3_int64 at, void *p)
{
    return inner(f)->pMethods->xUnfetch(inner(f), at, p);
}

int vOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *f, int flags, int *outFlags)
{
    auto *h = reinterpret_cast<Handle *>(f);
    h->real = reinterpret_cast<sqlite3_file *>(h + 1);
    h->kind = (flags & SQLITE_OPEN_MAIN_DB) ? 0 : (flags & SQLITE_OPEN_MAIN_JOURNAL) ? 1 : -1;
    const int rc = real->xOpen(real, name, h->real, flags, outFlags);
    if (h->real->pMethods) {
        methods.iVersion = std::min(h->real->pMethods->iVersion, 3);
        h->base.pMethods = &methods;
    } else {
        h->base.pMethods = nullptr;
    }
    return rc;
}

int vDelete(sqlite3_vfs *, const char *name, int syncDir)
{
    const size_t n = std::strlen(name);
    const bool journal = n > 8 && std::strcmp(name + n - 8, "-journal") == 0;
    if (refuse(journal ? 1 : -1, FaultyDisk::Op::Delete))
        return errorFor(FaultyDisk::Op::Delete);
    return real->xDelete(real, name, syncDir);
}

int vAccess(sqlite3_vfs *, const char *name, int flags, int *out)
{
    return real->xAccess(real, name, flags, out);
}
int vFullPathname(sqlite3_vfs *, const char *name, int n, char *out)
{
    return real->xFullPathname(real, name, n, out);
}
void *vDlOpen(sqlite3_vfs *, const char *name)
{
    return real->xDlOpen(real, name);
}
void vDlError(sqlite3_vfs *, int n, char *out)
{
    real->xDlError(real, n, out);
}
void (*vDlSym(sqlite3_vfs *, void *h, const char *sym))(void)
{
    return real->xDlSym(real, h, sym);
}
void vDlClose(sqlite3_vfs *, void *h)
{
    real->xDlClose(real, h);
}
int vRandomness(sqlite3_vfs *, int n, char *out)
{
    return real->xRandomness(real, n, out);
}
int vSleep(sqlite3_vfs *, int us)
{
    return real->xSleep(real, us);
}
int vCurrentTime(sqlite3_vfs *, double *out)
{
    return real->xCurrentTime(real, out);
}
int vGetLastError(sqlite3_vfs *, int n, char *out)
{
    return real->xGetLastError(real, n, out);
}
int vCurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out)
{
    return real->xCurrentTimeInt64(real, out);
}

} // namespace

FaultyDisk::FaultyDisk()
{
    sqlite3_initialize();
    real = sqlite3_vfs_find(nullptr);
    methods = sqlite3_io_methods{3,           fClose,      fRead,      fWrite,       fTruncate,
                                 fSync,       fFileSize,   fLock,      fUnlock,      fCheckReservedLock,
                                 fFileControl, fSectorSize, fDeviceCharacteristics, fShmMap, fShmLock,
                                 fShmBarrier, fShmUnmap,   fFetch,     fUnfetch};
    faulty = sqlite3_vfs{};
    faulty.iVersion = 2;
    faulty.szOsFile = int(sizeof(Handle)) + real->szOsFile;
    faulty.mxPathname = real->mxPathname;
    faulty.zName = "velmora-faulty-disk";
    faulty.xOpen = vOpen;
    faulty.xDelete = vDelete;
    faulty.xAccess = vAccess;
    faulty.xFullPathname = vFullPathname;
    faulty.xDlOpen = vDlOpen;
    faulty.xDlError = vDlError;
    faulty.xDlSym = vDlSym;
    faulty.xDlClose = vDlClose;
    faulty.xRandomness = vRandomness;
    faulty.xSleep = vSleep;
    faulty.xCurrentTime = vCurrentTime;
    faulty.xGetLastError = vGetLastError;
    faulty.xCurrentTimeInt64 = vCurrentTimeInt64;
    sqlite3_vfs_register(&faulty, 1);
    mend();
}

FaultyDisk::~FaultyDisk()
{
    mend();
    sqlite3_vfs_unregister(&faulty);
    sqlite3_vfs_register(real, 1);
}

void FaultyDisk::refuseFrom(Op op, File file, int n, Failure failure)
{
    State &s = state();
    std::lock_guard guard(s.lock);
    s.armed = true;
    s.refusing = false;
    s.op = op;
    s.file = file;
    s.countdown = n;
    s.failure = failure;
    s.refused = 0;
    s.seen.clear();
}

void FaultyDisk::mend()
{
    State &s = state();
    std::lock_guard guard(s.lock);
    s.armed = false;
    s.refusing = false;
}

int FaultyDisk::refused() const
{
    State &s = state();
    std::lock_guard guard(s.lock);
    return s.refused;
}

QStringList FaultyDisk::seen() const
{
    State &s = state();
    std::lock_guard guard(s.lock);
    return s.seen;
}

} // namespace testing
