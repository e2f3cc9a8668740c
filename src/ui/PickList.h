#pragma once
#include <QString>

class QComboBox;
class Query;

namespace ui {
// Clears the box (text and items), puts the query on the DISTINCT text and
// gives the box one item per returned row, in the engine's order (a null
// gives an empty item), all at once through the box's own list model. The
// query stays on this text; the box's text stays empty.
void fillPickList(QComboBox *box, Query &query, const QString &distinctSql);
} // namespace ui
