#include "ui/Accessible.h"

#include "ui/GridFooter.h"
#include "ui/ListGrid.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace ui {

namespace {

// Children: 0 the list (its entries are the list view's rows, made for the
// reader as it asks for them), 1 the box's line edit when it is editable.
class ListBoxAccessible : public QAccessibleWidget {
public:
    explicit ListBoxAccessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            // The accessible name, else the buddy label's text.
            return QAccessibleWidget::text(QAccessible::Name);
        case QAccessible::Value:
            // The current entry (or the text typed into an editable box).
            return box()->currentText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    int childCount() const override { return editor() ? 2 : 1; }

    QAccessibleInterface *child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && editor())
            return QAccessible::queryAccessibleInterface(editor());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        if (child->object() == box()->view())
            return 0;
        if (editor() && child->object() == editor())
            return 1;
        return -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = box()->isEditable();
        s.expandable = true;
        s.expanded = box()->view() && box()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &name) override
    {
        if (name == showMenuAction())
            box()->showPopup();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QLineEdit *editor() const { return box()->isEditable() ? box()->lineEdit() : nullptr; }
};

QAccessibleInterface *listBoxFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
        return new ListBoxAccessible(static_cast<QComboBox *>(object));
    return nullptr;
}

// A footer is a line of text to the reader: the titles of the summed columns
// with their sums, as the footer paints them.
class FooterAccessible : public QAccessibleWidget {
public:
    explicit FooterAccessible(GridFooter *footer) : QAccessibleWidget(footer, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name || t == QAccessible::Value)
            return static_cast<GridFooter *>(widget())->spokenText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *footerFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("ui::GridFooter") && object && object->isWidgetType())
        return new FooterAccessible(static_cast<GridFooter *>(object));
    return nullptr;
}

} // namespace

void nameListsByTheirLabels()
{
    static const bool installed = [] {
        QAccessible::installFactory(listBoxFactory);
        return true;
    }();
    (void)installed;
}

void readFootersAsText()
{
    static const bool installed = [] {
        QAccessible::installFactory(footerFactory);
        return true;
    }();
    (void)installed;
}

} // namespace ui
