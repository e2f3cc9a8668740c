#include "ui/FormKit.h"

#include "ui/Accessible.h"
#include "ui/OneLine.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>

namespace ui {

QLabel *label(QWidget *parent, const char *name, const QString &caption, QWidget *buddy)
{
    auto *l = make<QLabel>(parent, name, caption);
    if (buddy) {
        l->setBuddy(buddy);
        buddy->setAccessibleName(caption);
        if (qobject_cast<QComboBox *>(buddy))
            nameListsByTheirLabels();
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
    // A password is compared with the stored one exactly as typed, so it
    // holds only what the database gives back unchanged.
    keepStorable(box);
}

void layOutDialog(QWidget *dialog, QGridLayout *form, std::initializer_list<QWidget *> buttons, int rowSpacing)
{
    auto *layout = new QVBoxLayout(dialog);
    form->setVerticalSpacing(rowSpacing);
    layout->addStretch(1);
    layout->addLayout(form);
    layout->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    for (QWidget *b : buttons)
        row->addWidget(b);
    row->addStretch(1);
    layout->addLayout(row);
}

void setWindowBackground(QWidget *box, bool window)
{
    const QPalette app = QApplication::palette();
    setBackground(box, window ? app.color(QPalette::Base) : app.color(QPalette::Button));
}

void setBackground(QWidget *box, const QColor &colour)
{
    QPalette p = box->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Base, colour);
    box->setPalette(p);
}

QColor scrollBarColour()
{
    return QColor(200, 200, 200);
}

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The frame is known once the window system has placed the window; the
    // client area stands in for it before.
    const QSize size = window->isVisible() ? window->frameGeometry().size() : window->size();
    QRect placed = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, area);
    placed.moveLeft(std::max(placed.left(), area.left()));
    placed.moveTop(std::max(placed.top(), area.top()));
    window->move(placed.topLeft());
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
