#pragma once
// What every test shares, the store's alone included: a fresh current
// directory with a fresh data.mdb, a second connection to read what the
// program stored, a fixed clock. Needs the core library only.
//
// With VELMORA_TEST_ENGINE=pg a suite runs as till 1 of a shop's server
// instead: each TempWorkDir makes a database of its own on the server
// VELMORA_TEST_PG names (from its template velmora_template) and the
// program works through a server session; the second connection is another
// program on that database. Without a server such a run exits with 77,
// which CTest counts as skipped.
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

namespace store {
class ServerSession;
}

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
    void makeServerDatabase();
    QTemporaryDir dir_;
    QString serverDatabase_;
    std::unique_ptr<store::ServerSession> server_;
    QString previous_;
    QByteArray previousHome_;
};

// The suite runs on a server (VELMORA_TEST_ENGINE=pg).
bool onServer();
// A case about data.mdb itself (its file, SQLite's typing, its faults made
// with SQLite's triggers) is skipped on a server, saying why.
#define VELMORA_FILE_ONLY(why)                                                                                    \
    do {                                                                                                         \
        if (testing::onServer())                                                                                 \
            QSKIP("data.mdb only: " why);                                                                        \
    } while (false)

// Runs SQL on data.mdb of the current directory through a connection of its
// own; rows come back as text (null as empty, numbers as SQLite writes them).
QList<QStringList> rows(const QString &sql, const QVariantList &args = {});
QVariant scalar(const QString &sql, const QVariantList &args = {});
void exec(const QString &sql, const QVariantList &args = {});

// A step of the program that fails: each row `event` ("insert", "delete")
// on `table` for which `when` holds (SQL over new./old.; empty: every row)
// is refused with `message`, on either engine. Taken away by its table.
void makeFailingTrigger(const QString &table, const QString &event, const QString &when, const QString &message);
void dropFailingTrigger(const QString &table);

// A fixed clock for ticket numbers and times.
void fixClock(const QDateTime &t);
void releaseClock();

} // namespace testing
