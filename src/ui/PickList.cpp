#include "ui/PickList.h"

#include "base/AppError.h"
#include "store/DistinctPages.h"
#include "store/Idioms.h"
#include "store/Listing.h"
#include "store/NumberText.h"
#include "store/Query.h"
#include "store/ValuePages.h"

#include <QAbstractListModel>
#include <QComboBox>
#include <QKeyEvent>
#include <QListView>
#include <QSignalBlocker>
#include <QtDebug>

#include <functional>
#include <memory>
#include <optional>

namespace ui {

namespace {

// A list's values read from the store as they are reached. The source gives
// the next values: at least as many as asked for, fewer only at the end.
class PagedList : public QAbstractListModel {
public:
    using Source = std::function<std::vector<QVariant>(int)>;
    static constexpr int kPageRows = 256;
    static constexpr int kRestRows = 16384;

    explicit PagedList(QComboBox *box) : QAbstractListModel(box)
    {
        setObjectName(QStringLiteral("PickList"));
        // The arrow keys step through the values read; the next page is read
        // when they reach the last one, so they go on to the end of the list.
        connect(box, &QComboBox::currentIndexChanged, this, [this](int index) {
            if (index >= 0 && index >= rowCount() - 1 && canFetchMore({}))
                fetchMore({});
        });
        // End in the open list goes to the last value of all (the newest
        // ticket, the last product), not to the last one read so far.
        box->view()->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_End) {
            while (canFetchMore({}) && read(kRestRows)) {
            }
        }
        return false;
    }

    // Empties the list and fills it with the source's first page, as one
    // reset. When the page cannot be read the list stays empty and the error
    // goes on.
    void restart(Source source)
    {
        std::vector<QVariant> first;
        try {
            first = source(kPageRows);
        } catch (...) {
            beginResetModel();
            source_ = nullptr;
            texts_.clear();
            ended_ = true;
            endResetModel();
            throw;
        }
        changing_ = true;
        beginResetModel();
        source_ = std::move(source);
        texts_.clear();
        texts_.reserve(static_cast<qsizetype>(first.size()));
        for (const QVariant &v : first)
            texts_ << textOf(v);
        ended_ = static_cast<int>(first.size()) < kPageRows;
        endResetModel();
        changing_ = false;
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(texts_.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.parent().isValid() || index.row() >= texts_.size())
            return {};
        if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole)
            return {};
        return texts_[index.row()];
    }
    bool canFetchMore(const QModelIndex &parent) const override { return !parent.isValid() && source_ && !ended_; }
    void fetchMore(const QModelIndex &parent) override
    {
        if (canFetchMore(parent))
            read(kPageRows);
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

    // Called by the views and key events: nothing may escape. A page that
    // cannot be read now (the file busy) is read at the next scroll or key.
    bool read(int rows)
    {
        // Asked while a change is being announced (a view reads on as it
        // hears of one): the next page waits for the next ask, so changes
        // never nest.
        if (changing_)
            return false;
        std::vector<QVariant> values;
        try {
            values = source_(rows);
        } catch (const AppError &e) {
            qWarning("pick list: the next values could not be read: %s", qPrintable(e.message()));
            return false;
        }
        if (static_cast<int>(values.size()) < rows)
            ended_ = true;
        if (values.empty())
            return true;
        const int first = static_cast<int>(texts_.size());
        changing_ = true;
        beginInsertRows({}, first, first + static_cast<int>(values.size()) - 1);
        for (const QVariant &v : values)
            texts_ << textOf(v);
        endInsertRows();
        changing_ = false;
        return true;
    }

    Source source_;
    bool changing_ = false;
    QStringList texts_;
    bool ended_ = true;
};

PagedList *pagedList(QComboBox *box)
{
    if (auto *own = box->findChild<PagedList *>(QStringLiteral("PickList"), Qt::FindDirectChildrenOnly);
        own && box->model() == own)
        return own;
    auto *model = new PagedList(box);
    // A completer would read the whole list to complete from it.
    if (box->isEditable())
        box->setCompleter(nullptr);
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

void refill(QComboBox *box, PagedList::Source source)
{
    const QSignalBlocker block(box);
    PagedList *model = pagedList(box);
    box->setEditText(QString());
    try {
        model->restart(std::move(source));
    } catch (...) {
        box->setCurrentIndex(-1);
        box->setEditText(QString());
        throw;
    }
    // A filled box would select its first item; the text stays empty.
    box->setCurrentIndex(-1);
    box->setEditText(QString());
}

} // namespace

void fillPickList(QComboBox *box, Query &query, const QString &table, const QString &column)
{
    // Listing the table's rows costs nothing until they are read.
    idiom::list(query, store::Listing::all(table));
    auto pages = std::make_shared<store::DistinctPages>(query.connection(), table, column);
    refill(box, [pages](int n) { return pages->next(n); });
}

void fillPickListByPages(QComboBox *box, Connection &connection, const QString &table, const QString &column)
{
    auto pages = std::make_shared<store::ValuePages>(connection, table, column);
    auto last = std::make_shared<std::optional<QVariant>>();
    refill(box, [pages, last](int n) {
        std::vector<QVariant> values = pages->after(*last, n);
        if (!values.empty())
            *last = values.back();
        return values;
    });
}

} // namespace ui
