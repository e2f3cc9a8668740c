#pragma once
// Pick lists whose values are read from the store as they are reached: the
// first page when the list is filled, the next when the open list is
// scrolled to its end or the arrow keys reach the last value read, all that
// is left on End in the open list. Filling costs the same with 100,000
// products or a million ticket numbers as with none; typing, picking, the
// arrow keys and a screen reader work as in any list (a reader is told the
// values read so far, and more as they are read).
#include <QString>

class Connection;
class QComboBox;
class Query;

namespace ui {
// Clears the box (text and items) and gives it the distinct values of a
// table's column (as "Select Distinct 品名 From spxx" lists them), in the
// engine's order for that (ascending through the column's index when it
// has one, otherwise the order of their first rows); a null gives an empty
// item. The query is left listing the table's rows, so that it is
// empty exactly when the list is. The box's text stays empty. Throws AppError
// when the first page cannot be read.
void fillPickList(QComboBox *box, Query &query, const QString &table, const QString &column);

// Clears the box and gives it the distinct values of a column that may be
// very long (every ticket number of the archive), in ascending order (a null
// gives an empty item). The box's text stays empty. Throws AppError when the
// first page cannot be read.
void fillPickListByPages(QComboBox *box, Connection &connection, const QString &table, const QString &column);
} // namespace ui
