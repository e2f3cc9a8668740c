#include "ui/KeyFilter.h"

#include "ui/ErrorDisplay.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace ui {

namespace {
QWidget *editOf(QWidget *box)
{
    if (auto *combo = qobject_cast<QComboBox *>(box); combo && combo->lineEdit())
        return combo->lineEdit();
    return box;
}

QString textOf(QWidget *edit)
{
    if (auto *line = qobject_cast<QLineEdit *>(edit))
        return line->text();
    return {};
}
} // namespace

bool numericKeyAccepted(QChar typed, const QString &currentText)
{
    if (typed == QLatin1Char('\b'))
        return true;
    if (typed >= QLatin1Char('0') && typed <= QLatin1Char('9'))
        return true;
    // A second point is refused even when the first one is selected.
    if (typed == QLatin1Char('.'))
        return !currentText.contains(QLatin1Char('.'));
    return false;
}

NumericKeyFilter::NumericKeyFilter(QWidget *box, std::function<void()> onKeyRelease)
    : QObject(box), box_(box), edit_(editOf(box)), onKeyRelease_(std::move(onKeyRelease))
{
    // An editable combo box keeps the focus itself and hands keys to its line
    // edit directly, past any filter there: the keyboard is seen at the box.
    // The line edit is watched too for keys sent to it straight away.
    box_->installEventFilter(this);
    if (edit_ != box_)
        edit_->installEventFilter(this);
    // Characters of an input method never reach these boxes.
    box_->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit_->setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool NumericKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != edit_ && watched != box_)
        return false;
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Only typed characters are filtered: Shift+Insert, Shift+Delete and
        // Ctrl+Insert type none, so they paste, cut and copy as in any box
        // (a pasted text that is not a number is refused before it is stored).
        switch (key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Delete:
            return false;
        default:
            break;
        }
        // Ctrl+letter combinations (Ctrl+C, Ctrl+X, Ctrl+V...) type control
        // characters: dropped.
        if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
            return !key->text().isEmpty() || (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z);
        const QString text = key->text();
        if (text.isEmpty())
            return false; // arrows, Home, End: no character
        if (key->key() == Qt::Key_Backspace)
            return false;
        for (QChar c : text) {
            if (!numericKeyAccepted(c, textOf(edit_)))
                return true;
        }
        return false;
    }
    // The combo box hands its keys to the line edit past this filter, and the
    // line edit keeps the releases sent to it: each release is seen once.
    if (event->type() == QEvent::KeyRelease && onKeyRelease_)
        guarded(onKeyRelease_);
    return false;
}

KeylessEditHook::KeylessEditHook(QWidget *box, std::function<void()> onEdit)
    : QObject(box), onEdit_(std::move(onEdit))
{
    box->installEventFilter(this);
    QWidget *edit = editOf(box);
    if (edit != box)
        edit->installEventFilter(this);
    if (auto *line = qobject_cast<QLineEdit *>(edit)) {
        on(line, &QLineEdit::textEdited, this, [this] {
            if (!keyDown_ && onEdit_)
                onEdit_();
        });
    }
}

bool KeylessEditHook::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        keyDown_ = true;
        break;
    // A key released elsewhere (a Tab moved the focus on) ends it too.
    case QEvent::KeyRelease:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        keyDown_ = false;
        break;
    default:
        break;
    }
    return false;
}

} // namespace ui
