#include "ui/PickList.h"

#include "store/Idioms.h"
#include "store/Query.h"

#include <QComboBox>
#include <QListView>
#include <QSignalBlocker>
#include <QStringListModel>

namespace ui {

namespace {
// The list's own model of names, made on the first fill. One name list is
// handed over in one step: a catalogue of 100 000 names costs one reset, not
// one insertion (and one accessibility event) per name.
QStringListModel *namesModel(QComboBox *box)
{
    if (auto *own = box->findChild<QStringListModel *>(QStringLiteral("PickListNames"), Qt::FindDirectChildrenOnly);
        own && box->model() == own)
        return own;
    auto *model = new QStringListModel(box);
    model->setObjectName(QStringLiteral("PickListNames"));
    box->setModel(model);
    // Sized by its layout, not by measuring every name; and an editable
    // box's list, whose rows all have one height, opens without laying out
    // each of them (a list-only box draws its rows as menu items, whose
    // heights the view must measure).
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(8);
    if (auto *list = qobject_cast<QListView *>(box->view()); list && box->isEditable())
        list->setUniformItemSizes(true);
    return model;
}
} // namespace

void fillPickList(QComboBox *box, Query &query, const QString &distinctSql)
{
    const QSignalBlocker block(box);
    QStringListModel *model = namesModel(box);
    model->setStringList({});
    box->setEditText(QString());
    idiom::reopen(query, distinctSql);
    const QString column = query.fieldNames().value(0);
    QStringList names;
    for (query.first(); !query.eof(); query.next())
        names << query.fieldText(column);
    model->setStringList(names);
    // A filled box selects its first item; the text stays empty.
    box->setCurrentIndex(-1);
    box->setEditText(QString());
}

} // namespace ui
