#pragma once
// What every test of the windows shares: besides CoreSupport.h, scripted
// message boxes, input as a user gives it, and the program's windows made
// and torn down per test.
#include <QDateTime>
#include <QList>
#include <QPoint>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <deque>
#include <functional>
#include <memory>

#include "support/CoreSupport.h"
#include "ui/MessageBox.h"

class QAbstractItemView;
class QComboBox;
class QLineEdit;
class QWidget;

namespace testing {

// Records every message box and answers from a queue; a prompt that finds
// the queue empty is answered "OK"/"Cancel" only when expectAnyOk() allows it,
// otherwise it counts as unexpected and fails the test at the end.
class Prompts {
public:
    Prompts();
    ~Prompts();
    void answer(msg::Answer a) { queue_.push_back(a); }
    // Plain OK boxes (notices, warnings, errors) need no scripted answer.
    void allowOk(bool allow = true) { allowOk_ = allow; }
    const QList<msg::Prompt> &log() const { return log_; }
    QStringList texts() const;
    QStringList takeTexts();
    void clear() { log_.clear(); }
    int unexpected() const { return unexpected_; }

private:
    std::deque<msg::Answer> queue_;
    QList<msg::Prompt> log_;
    bool allowOk_ = true;
    int unexpected_ = 0;
};


// Input as a user gives it: real mouse and key events on the named controls.
void click(QWidget *widget);              // a left click in its middle
void clickAt(QWidget *widget, QPoint at); // a left click at a point of it
void typeInto(QWidget *box, const QString &text); // focus by a click, then the keys
// A key pressed in the widget (or the focused box inside it) and released
// where the focus is after the press, as a keyboard does it: the release of
// a Tab reaches the box the Tab moved to.
void pressKey(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The line edit that a box's keys reach (an editable combo box's own).
QLineEdit *editOf(QWidget *box);
// Keys as the keyboard sends them, to the box's line edit, without moving
// the focus first; characters without a key of their own (Chinese names)
// arrive as key events carrying the text.
void typeKeys(QWidget *box, const QString &text);
// Empties a box with End and Backspace, the way a cashier clears it.
void clearByKeys(QWidget *box);
// clearByKeys, then typeKeys.
void retype(QWidget *box, const QString &text);
// A click on a row of a list or grid (in the given column), scrolled into view.
bool clickRow(QAbstractItemView *view, int row, int column = 1);
// Opens the list of a drop-down box and clicks the item with that text;
// false when there is no such item.
bool pickFromList(QComboBox *box, const QString &itemText);

// Runs steps once the next modal window of the program is open (the one the
// caller is about to exec, or that a click is about to open), then closes
// that window if the steps left it open, so a failing step cannot hang the
// test. Call it before the step that opens the window.
void whileModal(std::function<void(QWidget *modal)> steps);

// A right click in the middle of a box as the window system delivers it,
// then a click on the paste item of the menu it opens (a line edit, an
// editable combo box's line edit, a text box). False when no menu opened or
// it offered no paste.
bool pasteFromMenu(QWidget *box);

// A left click in the middle of a widget as the window system delivers it:
// a window that a modal window blocks does not get it.
void clickThroughWindow(QWidget *widget);
// A left double-click at a point of a widget.
void doubleClickAt(QWidget *widget, QPoint at);

// Logs in as at start: the login window runs modally, the user is chosen
// from its list, the password typed and 确定 clicked. True when it let in.
bool loginAs(const QString &user, const QString &password);

// The program's windows over the current directory's data.mdb, printing
// into a recording printer (support/PrintSupport.h).
class Program {
public:
    Program();
    ~Program();
};

// One test's world, made in init() and dropped in cleanup(): a fresh folder
// with its data.mdb, scripted message boxes, the program's windows and the
// main window shown.
class Session {
public:
    // beforeStart runs in the fresh folder before the program starts: what
    // the test's data.mdb holds from the start (an archive, settings).
    explicit Session(const std::function<void()> &beforeStart = {});
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    TempWorkDir &dir() { return dir_; }
    Prompts &prompts() { return prompts_; }
    // The program started again on the same data.mdb (after a test wrote
    // rows of its own there, as another program would).
    void restart();

private:
    bool showMain();
    TempWorkDir dir_;
    Prompts prompts_;
    std::unique_ptr<Program> program_;
};

} // namespace testing
