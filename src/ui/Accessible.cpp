#include "ui/Accessible.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>

namespace ui {

namespace {

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
            return box()->currentText();
        default:
            return QAccessibleWidget::text(t);
        }
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
};

QAccessibleInterface *listBoxFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
        return new ListBoxAccessible(static_cast<QComboBox *>(object));
    return nullptr;
}

} // namespace

void nameListsByTheirLabels()
{
    QAccessible::installFactory(listBoxFactory);
}

} // namespace ui
