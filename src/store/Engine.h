#pragma once
// What the store adds to the SQLite engine: its errors told to the cashier in
// Chinese with the engine's own words after them, and the column sums of the
// lists computed by the engine as fixed point with four decimals.
#include "store/NumberText.h"

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
// Throws as the engine does for a table or column that is not there.
[[noreturn]] void throwMissing(const QString &what);
[[noreturn]] void throwEngineError(const QSqlError &error);
// What the system's error number means, in the cashier's words.
QString systemErrorText(int error);
// The engine opened the connection's file for reading only.
bool openedReadOnly(const QSqlDatabase &db);

// The engine's sums follow the program's one rule (numtext::Fixed4Sum).
using numtext::Fixed4Sum;
// Counts a stored value as the engine's sum reads a column: a null, or a
// text that is no number, is skipped.
void addStored(Fixed4Sum &sum, const QVariant &value);

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
