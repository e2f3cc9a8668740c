#pragma once
// Small helpers for building windows: every control gets its fixed name as
// objectName, every box is the buddy of its label (a screen reader names it
// by the caption), every button is named by its caption.
#include <QColor>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace ui {

template <class W, class... Args> W *make(QWidget *parent, const char *name, Args &&...args)
{
    auto *w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption, QWidget *buddy = nullptr);
QPushButton *button(QWidget *parent, const char *name, const QString &caption);

// A password box: each typed character shows as "*", whatever mark the style
// would draw.
void setPasswordBox(QLineEdit *box);

// Lays out a small dialog: its boxes in the middle, a row of buttons centred
// below them.
void layOutDialog(QWidget *dialog, QGridLayout *form, std::initializer_list<QWidget *> buttons,
                  int rowSpacing);

// Editable: not read-only, window background; otherwise read-only on the
// button-face background.
void setEditable(QWidget *box, bool editable);
// Enabled boxes have the window background, disabled ones the button face.
void setBoxEnabled(QWidget *box, bool enabled);
// Background of a box: the window colour or the button face.
void setWindowBackground(QWidget *box, bool window);
// Background of a box in any colour.
void setBackground(QWidget *box, const QColor &colour);
// The system's scroll-bar colour (a light grey), the background of a few
// read-only boxes.
QColor scrollBarColour();

// Moves a window so that it stands in the middle of its screen's available
// area (top left of that area when it is larger).
void centreOnScreen(QWidget *window);

} // namespace ui
