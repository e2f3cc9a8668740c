#pragma once
// The sales list written to a spreadsheet file (.xlsx) a shop can sum: row 1
// the names of the list's columns in order, then one row per listed ticket,
// from the first. 单号 is text, 时间 a date and time shown as the grid shows
// it, the number columns numbers; any value its column does not hold (a text
// in a number column, a time typed by hand) goes in as its text, and an empty
// value as an empty cell. Each column is as wide as its widest text.
//
// Rows stream to the file: the writer holds one row at a time, so what an
// export costs in memory is what reading the list costs. The file is written
// under a name of its own beside the chosen one and takes the chosen name only
// once complete: a failed or cancelled export leaves no file and never
// clobbers an older one half-way.
#include <QString>
#include <QtGlobal>

class Query;
class QWidget;

namespace history {

// Rows one worksheet holds under its header row (1,048,576 rows in all).
inline constexpr qint64 kSheetDataRows = 1048575;

// The refusal shown when a list has more rows than one sheet holds; empty
// when the list fits.
QString sheetRoomRefusal(qint64 listedRows);

enum class ExportOutcome { Written, Cancelled };

// The file written for a name typed in the save dialog: the name with
// ".xlsx", the file's format ("day.xls" gives "day.xlsx", "day.XLSX" stays).
QString exportFileName(const QString &typed);

// Writes what the list holds to fileName (used as given). An export that runs
// longer than the progress delay shows its progress (rows written of rows
// listed) with a cancel button. Reads the rows by position: the list's cursor,
// and the selection that follows it, stay on the ticket they were on (a 删除
// after the export deletes that ticket). Throws AppError when the file cannot
// be written in full, or a row cannot be read.
ExportOutcome exportList(QWidget *owner, Query &list, const QString &fileName);

// How long an export runs before its progress shows (one second; tests
// shorten it to see and cancel the progress of a small list).
void setProgressDelay(int milliseconds);

} // namespace history
