#include "support/TestSupport.h"

#include "app/Forms.h"
#include "store/Session.h"
#include "app/LoginUnit.h"
#include "store/Clock.h"
#include "support/PrintSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ListChoice.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTest>
#include <atomic>

namespace testing {

Prompts::Prompts()
{
    msg::setHook([this](const msg::Prompt &p) {
        log_ << p;
        if (!queue_.empty()) {
            const msg::Answer a = queue_.front();
            queue_.pop_front();
            return a;
        }
        if (allowOk_ && p.buttons == msg::Buttons::Ok)
            return msg::Answer::Ok;
        ++unexpected_;
        qWarning("unexpected prompt: %s", qPrintable(p.text));
        return p.buttons == msg::Buttons::YesNo ? msg::Answer::No : msg::Answer::Cancel;
    });
}

Prompts::~Prompts()
{
    msg::setHook({});
    if (unexpected_ > 0)
        QTest::qFail("a message box asked a question no test answered", __FILE__, __LINE__);
}

QStringList Prompts::texts() const
{
    QStringList t;
    for (const auto &p : log_)
        t << p.text;
    return t;
}

QStringList Prompts::takeTexts()
{
    const QStringList t = texts();
    log_.clear();
    return t;
}

void click(QWidget *widget)
{
    clickAt(widget, widget->rect().center());
}

void clickAt(QWidget *widget, QPoint at)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
}

void typeInto(QWidget *box, const QString &text)
{
    auto *combo = qobject_cast<QComboBox *>(box);
    QWidget *target = combo && combo->lineEdit() ? static_cast<QWidget *>(combo->lineEdit()) : box;
    click(target);
    // Characters without a key of their own (Chinese names) arrive as key
    // events carrying the text.
    for (QChar c : text) {
        if (c.unicode() > 0 && c.unicode() < 128)
            QTest::keyClick(target, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void pressKey(QWidget *widget, int key, Qt::KeyboardModifiers modifiers)
{
    QWidget *focus = QApplication::focusWidget();
    QWidget *target = focus && (focus == widget || widget->isAncestorOf(focus)) ? focus : widget;
    QTest::keyPress(target, static_cast<Qt::Key>(key), modifiers);
    // A key that moved the focus (Tab) is released where the focus is now.
    QWidget *now = QApplication::focusWidget();
    QTest::keyRelease(now ? now : target, static_cast<Qt::Key>(key), modifiers);
}

QLineEdit *editOf(QWidget *box)
{
    if (auto *combo = qobject_cast<QComboBox *>(box))
        return combo->lineEdit();
    return qobject_cast<QLineEdit *>(box);
}

void typeKeys(QWidget *box, const QString &text)
{
    QLineEdit *edit = editOf(box);
    QWidget *target = edit ? static_cast<QWidget *>(edit) : box;
    for (QChar c : text) {
        if (c.unicode() > 0 && c.unicode() < 128)
            QTest::keyClick(target, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void clearByKeys(QWidget *box)
{
    QLineEdit *edit = editOf(box);
    if (!edit)
        return;
    QTest::keyClick(edit, Qt::Key_End);
    for (qsizetype n = edit->text().size(); n > 0; --n)
        QTest::keyClick(edit, Qt::Key_Backspace);
}

void retype(QWidget *box, const QString &text)
{
    clearByKeys(box);
    typeKeys(box, text);
}

bool clickRow(QAbstractItemView *view, int row, int column)
{
    QApplication::processEvents();
    const QModelIndex index = view->model()->index(row, column);
    if (!index.isValid())
        return false;
    view->scrollTo(index);
    const QRect cell = view->visualRect(index);
    if (!cell.isValid())
        return false;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    return true;
}

bool pickFromList(QComboBox *box, const QString &itemText)
{
    const int i = box->findText(itemText, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i < 0)
        return false;
    box->showPopup();
    QAbstractItemView *view = box->view();
    if (!QTest::qWaitForWindowExposed(view->window()))
        return false;
    const QModelIndex index = box->model()->index(i, box->modelColumn(), box->rootModelIndex());
    view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

void whileModal(std::function<void(QWidget *modal)> steps)
{
    QPointer<QWidget> before = QApplication::activeModalWidget();
    auto *poll = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, qApp, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if ((!modal || modal == before) && ++*waited < 2000)
            return;
        poll->stop();
        poll->deleteLater();
        if (!modal || modal == before) {
            qWarning("whileModal: no modal window opened");
            return;
        }
        QPointer<QWidget> guard = modal;
        steps(modal);
        if (guard && guard->isVisible()) {
            if (auto *dialog = qobject_cast<QDialog *>(guard.data()))
                dialog->reject();
            else
                guard->close();
        }
    });
    poll->start();
}

void clickThroughWindow(QWidget *widget)
{
    QWidget *top = widget->window();
    const QPoint at = widget->mapTo(top, widget->rect().center());
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}

bool pasteFromMenu(QWidget *box)
{
    QWidget *target = box;
    if (auto *text = qobject_cast<QAbstractScrollArea *>(box))
        target = text->viewport();
    else if (QLineEdit *edit = editOf(box))
        target = edit;
    QWidget *top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::RightButton, Qt::NoModifier, target->mapTo(top, target->rect().center()));
    QMenu *menu = nullptr;
    if (!QTest::qWaitFor([&menu] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }, 2000))
        return false;
    // The paste item, known by the key it names, in any language.
    const QString key = u'\t' + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
    QAction *paste = nullptr;
    for (QAction *a : menu->actions()) {
        if (a->text().endsWith(key))
            paste = a;
    }
    if (!paste || !paste->isEnabled()) {
        menu->close();
        return false;
    }
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(paste).center());
    return true;
}

void doubleClickAt(QWidget *widget, QPoint at)
{
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
}

bool loginAs(const QString &user, const QString &password)
{
    whileModal([user, password](QWidget *modal) {
        auto *form = qobject_cast<TLoginForm *>(modal);
        if (!form || !pickFromList(form->ComboBox1, user))
            return;
        typeInto(form->Edit1, password);
        click(form->SpeedButton1);
    });
    return TLoginForm::RunLogin();
}

Program::Program()
{
    // Receipts are recorded in-process; only the CUPS test prints for real.
    recordPrints();
    app::createForms();
    // As after the administrator's login; a test of the login itself logs
    // out first or logs in through the login window.
    session::logIn({QStringLiteral("admin"), true});
}

Program::~Program()
{
    session::logOut();
    app::destroyForms();
    print::setPrinter({});
}

namespace {
std::unique_ptr<Program> startAfter(const std::function<void()> &beforeStart)
{
    if (beforeStart)
        beforeStart();
    return std::make_unique<Program>();
}
} // namespace

Session::Session(const std::function<void()> &beforeStart) : program_(startAfter(beforeStart))
{
    if (!showMain())
        qWarning("Session: the main window was not shown");
}

Session::~Session() = default;

void Session::restart()
{
    program_.reset();
    program_ = std::make_unique<Program>();
    if (!showMain())
        qWarning("Session: the main window was not shown");
}

bool Session::showMain()
{
    MainForm->show();
    QApplication::setActiveWindow(MainForm);
    return QTest::qWaitForWindowExposed(MainForm);
}

} // namespace testing
