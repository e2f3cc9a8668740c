#include "ui/FormKit.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>

namespace ui {

QLabel *label(QWidget *parent, const char *name, const QString &caption, QWidget *buddy)
{
    auto *l = make<QLabel>(parent, name, caption);
    if (buddy) {
        l->setBuddy(buddy);
        buddy->setAccessibleName(caption);
    }
    return l;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = make<QPushButton>(parent, name, caption);
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    b->setDefault(false);
    // Reachable with Tab, but a click leaves the focus where the cashier typed.
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

void setPasswordBox(QLineEdit *box)
{
    box->setEchoMode(QLineEdit::Password);
    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
}

void setWindowBackground(QWidget *box, bool window)
{
    QPalette p = box->palette();
    const QPalette app = QApplication::palette();
    const QColor colour = window ? app.color(QPalette::Base) : app.color(QPalette::Button);
    p.setColor(QPalette::Active, QPalette::Base, colour);
    p.setColor(QPalette::Inactive, QPalette::Base, colour);
    p.setColor(QPalette::Disabled, QPalette::Base, colour);
    box->setPalette(p);
}

void setEditable(QWidget *box, bool editable)
{
    if (auto *e = qobject_cast<QLineEdit *>(box))
        e->setReadOnly(!editable);
    else if (auto *m = qobject_cast<QPlainTextEdit *>(box))
        m->setReadOnly(!editable);
    setWindowBackground(box, editable);
}

void setBoxEnabled(QWidget *box, bool enabled)
{
    box->setEnabled(enabled);
    setWindowBackground(box, enabled);
}

} // namespace ui
