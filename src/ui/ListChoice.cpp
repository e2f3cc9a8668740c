#include "ui/ListChoice.h"

#include "ui/ErrorDisplay.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

namespace ui {

ListChoice::ListChoice(QComboBox *box, std::function<void()> onChoice)
    : QObject(box), box_(box), onChoice_(std::move(onChoice))
{
    box_->installEventFilter(this);
    if (box_->lineEdit())
        box_->lineEdit()->installEventFilter(this);
    watchPopup();
    connect(box_, &QComboBox::activated, this, [this] {
        if (!armed_)
            return; // the box lost the focus or got Enter: no choice
        armed_ = false;
        guarded(onChoice_);
    });
}

// Qt emits activated while it handles the event that made the choice; the arm
// is dropped once that event is over, chosen or not.
void ListChoice::arm()
{
    armed_ = true;
    QTimer::singleShot(0, this, [this] { armed_ = false; });
}

// The list's view exists once the list is first opened (or asked for); its
// filters must run before the combo box's own, so they are installed late.
void ListChoice::watchPopup()
{
    QAbstractItemView *view = box_->view();
    if (view == popupView_)
        return;
    popupView_ = view;
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
}

bool ListChoice::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // The open list takes Enter as a shortcut override and chooses the
        // item there, before the key press itself arrives.
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const bool step = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
            || key == Qt::Key_PageDown;
        const bool pick = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Select;
        const bool inPopup = popupView_ && watched == popupView_;
        if ((step && watched == box_ && event->type() == QEvent::KeyPress) || (pick && inPopup))
            arm();
        // Alt+Down or F4 opens the list: its view is watched from then on.
        if (watched == box_ || watched == box_->lineEdit())
            watchPopup();
        break;
    }
    case QEvent::MouseButtonPress:
        if (watched == box_ || watched == box_->lineEdit())
            watchPopup();
        break;
    case QEvent::MouseButtonRelease:
        if (popupView_ && watched == static_cast<QAbstractItemView *>(popupView_)->viewport())
            arm();
        break;
    case QEvent::Wheel:
        // The wheel would change the item without it being chosen.
        if (watched == box_ || watched == box_->lineEdit())
            return true;
        break;
    default:
        break;
    }
    return false;
}

ListChoice *onListChoice(QComboBox *box, std::function<void()> onChoice)
{
    return new ListChoice(box, std::move(onChoice));
}

void setListText(QComboBox *box, const QString &text)
{
    const QSignalBlocker block(box);
    box->setCurrentIndex(box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    box->setEditText(text);
}

} // namespace ui
