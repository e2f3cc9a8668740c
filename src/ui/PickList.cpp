#include "ui/PickList.h"

#include "store/Idioms.h"
#include "store/NumberText.h"
#include "store/Query.h"
#include "store/ValuePages.h"

#include <QAbstractListModel>
#include <QComboBox>
#include <QKeyEvent>
#include <QListView>
#include <QSignalBlocker>
#include <QStringListModel>

#include <memory>
#include <optional>

namespace ui {

namespace {
// The list's own model of names, made on the first fill. One name list is
// handed over in one step: a catalogue of 100 000 names costs one reset, not
// one insertion (and one accessibility event) per name.
void useModel(QComboBox *box, QAbstractItemModel *model)
{
    box->setModel(model);
    // Sized by its layout, not by measuring every name; and an editable
    // box's list, whose rows all have one height, opens without laying out
    // each of them (a list-only box draws its rows as menu items, whose
    // heights the view must measure).
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(8);
    if (auto *list = qobject_cast<QListView *>(box->view()); list && box->isEditable())
        list->setUniformItemSizes(true);
}

QStringListModel *namesModel(QComboBox *box)
{
    if (auto *own = box->findChild<QStringListModel *>(QStringLiteral("PickListNames"), Qt::FindDirectChildrenOnly);
        own && box->model() == own)
        return own;
    auto *model = new QStringListModel(box);
    model->setObjectName(QStringLiteral("PickListNames"));
    useModel(box, model);
    return model;
}

// The values of a long list, read a page at a time as they are reached.
class PagedValues : public QAbstractListModel {
public:
    static constexpr int kPageRows = 256;
    static constexpr int kRestRows = 16384;

    explicit PagedValues(QComboBox *box) : QAbstractListModel(box)
    {
        setObjectName(QStringLiteral("PickListPages"));
        // The arrow keys step through the values read; the next page is read
        // when they reach the last one, so they go on to the end of the list.
        connect(box, &QComboBox::currentIndexChanged, this, [this](int index) {
            if (index >= 0 && index >= rowCount() - 1 && canFetchMore({}))
                fetchMore({});
        });
        // End in the open list goes to the last value of all (the newest
        // ticket), not to the last one read so far.
        box->view()->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_End) {
            try {
                while (canFetchMore({}))
                    readPage(kRestRows);
            } catch (...) {
                // The file busy: End goes as far as was read.
            }
        }
        return false;
    }

    void restart(Connection &connection, const QString &table, const QString &column)
    {
        beginResetModel();
        pages_ = std::make_unique<store::ValuePages>(connection, table, column);
        texts_.clear();
        last_.reset();
        ended_ = false;
        endResetModel();
        readPage();
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(texts_.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= texts_.size() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return texts_[index.row()];
    }
    bool canFetchMore(const QModelIndex &parent) const override { return !parent.isValid() && pages_ && !ended_; }
    void fetchMore(const QModelIndex &parent) override
    {
        if (!canFetchMore(parent))
            return;
        // Called by the views: nothing may escape. A page that cannot be read
        // now (the file busy) is read at the next scroll or key.
        try {
            readPage();
        } catch (...) {
        }
    }

private:
    static QString textOf(const QVariant &v)
    {
        if (v.isNull())
            return {};
        if (v.typeId() == QMetaType::Double)
            return numtext::general(static_cast<numtext::Extended>(v.toDouble()));
        return v.toString();
    }

    void readPage(int rows = kPageRows)
    {
        const std::vector<QVariant> values = pages_->after(last_, rows);
        if (static_cast<int>(values.size()) < rows)
            ended_ = true;
        if (values.empty())
            return;
        const int first = static_cast<int>(texts_.size());
        beginInsertRows({}, first, first + static_cast<int>(values.size()) - 1);
        for (const QVariant &v : values)
            texts_ << textOf(v);
        endInsertRows();
        last_ = values.back();
    }

    std::unique_ptr<store::ValuePages> pages_;
    QStringList texts_;
    std::optional<QVariant> last_;
    bool ended_ = true;
};
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

void fillPickListByPages(QComboBox *box, Connection &connection, const QString &table, const QString &column)
{
    const QSignalBlocker block(box);
    auto *model = static_cast<PagedValues *>(
        box->findChild<QAbstractListModel *>(QStringLiteral("PickListPages"), Qt::FindDirectChildrenOnly));
    if (!model || box->model() != model) {
        model = new PagedValues(box);
        useModel(box, model);
    }
    box->setEditText(QString());
    model->restart(connection, table, column);
    box->setCurrentIndex(-1);
    box->setEditText(QString());
}

} // namespace ui
