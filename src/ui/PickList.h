#pragma once
#include <QString>

class Connection;
class QComboBox;
class Query;

namespace ui {
// Clears the box (text and items), puts the query on the DISTINCT text and
// gives the box one item per returned row, in the engine's order (a null
// gives an empty item), all at once through the box's own list model. The
// query stays on this text; the box's text stays empty.
void fillPickList(QComboBox *box, Query &query, const QString &distinctSql);

// Clears the box and gives it the distinct values of a column that may be
// very long (every ticket number of the archive), in ascending order (a null
// gives an empty item), read a page at a time: the first page now, the next
// when the open list is scrolled to its end or the arrow keys reach the last
// value read. Opening costs the same with a million values as with none;
// typing, picking and the arrow keys work as in any pick list. The box's text
// stays empty. Throws AppError when the first page cannot be read.
void fillPickListByPages(QComboBox *box, Connection &connection, const QString &table, const QString &column);
} // namespace ui
