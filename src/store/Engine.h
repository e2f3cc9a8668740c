#pragma once
// What the store adds to the SQLite engine: its errors told to the cashier in
// Chinese with the engine's own words after them, and the column sums of the
// lists computed by the engine as fixed point with four decimals.
#include <QSqlError>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

class QSqlDatabase;

namespace store {

// The engine's primary result codes the program tells apart.
enum class EngineFailure {
    None, Busy, Full, ReadOnly, Moved, CantOpen, NotADatabase, Corrupt, IoError, MissingSchema, Other
};

EngineFailure classify(const QSqlError &error);
// The database file the program works on, named in the messages about it
// (a damaged file is told by its name).
void setDatabaseFile(const QString &path);
const QString &databaseFile();
// "数据库正忙……：database is locked"; an error the program has no words for
// keeps the engine's text alone.
QString engineMessage(const QSqlError &error);
[[noreturn]] void throwEngineError(const QSqlError &error);
// What the system's error number means, in the cashier's words.
QString systemErrorText(int error);
// The engine opened the connection's file for reading only.
bool openedReadOnly(const QSqlDatabase &db);

// A running sum as the footers and totals keep it: each value × 10000 rounded
// to an integer (ties to even), added with an overflow check. Nulls and texts
// that are no number are skipped; a value of 9×10^14 or more, or a total
// that leaves the 64-bit range, makes the sum unfit (empty).
struct Fixed4Sum {
    qint64 total = 0;
    bool unfit = false; // zero-initialised memory is an empty sum

    void add(double value);
    void addValue(const QVariant &value);
    std::optional<qint64> result() const;
};

// Registers on the connection:
// - velmora_sum4(x): the Fixed4Sum of a column as an integer, null when it
//   does not fit; never raises an error for what a row holds;
// - velmora_lowest_keys(key, n): the n smallest keys of the rows counted, as a
//   blob of 64-bit integers in ascending order (see lowestKeys()), so a count
//   that reads every row also finds a list's first rows.
bool registerFunctions(const QSqlDatabase &db);
// The keys of a velmora_lowest_keys() result.
std::vector<qint64> lowestKeys(const QVariant &blob);

// A table or column name as SQL text, in double quotes.
QString quotedName(const QString &identifier);

} // namespace store
