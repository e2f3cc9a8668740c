#include "ui/PickList.h"

#include "store/Idioms.h"
#include "store/Query.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace ui {

void fillPickList(QComboBox *box, Query &query, const QString &distinctSql)
{
    const QSignalBlocker block(box);
    box->clear();
    box->setEditText(QString());
    idiom::reopen(query, distinctSql);
    box->clear();
    const QString column = query.fieldNames().value(0);
    for (query.first(); !query.eof(); query.next())
        box->addItem(query.fieldText(column));
    // Adding to an empty box selects its first item; the text stays empty.
    box->setCurrentIndex(-1);
    box->setEditText(QString());
}

} // namespace ui
