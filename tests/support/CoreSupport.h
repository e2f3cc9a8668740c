#pragma once
// What every test shares, the store's alone included: a fresh current
// directory with a fresh data.mdb, a second connection to read what the
// program stored, a fixed clock. Needs the core library only.
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace testing {

// A fresh folder made the current directory, holding a copy of the
// delivered data.mdb (unless withDatabase is false). The old current
// directory comes back at the end.
class TempWorkDir {
public:
    explicit TempWorkDir(bool withDatabase = true);
    ~TempWorkDir();
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const;

private:
    QTemporaryDir dir_;
    QString previous_;
    QByteArray previousHome_;
};

// Runs SQL on data.mdb of the current directory through a connection of its
// own; rows come back as text (null as empty, numbers as SQLite writes them).
QList<QStringList> rows(const QString &sql, const QVariantList &args = {});
QVariant scalar(const QString &sql, const QVariantList &args = {});
void exec(const QString &sql, const QVariantList &args = {});

// A fixed clock for ticket numbers and times.
void fixClock(const QDateTime &t);
void releaseClock();

} // namespace testing
