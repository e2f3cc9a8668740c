#pragma once
// What the administration tests share: a data.mdb with a few users and
// products, the settings window opened with 设置 as a user opens it, and the
// messages shown in a form that one compare can check.
#include "admin/QxsmUnit.h"
#include "admin/SptjUnit.h"
#include "admin/SpxgUnit.h"
#include "admin/XtUnit.h"
#include "admin/YhtjUnit.h"
#include "admin/YhxgUnit.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ListGrid.h"

#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace admintest {

// Users: admin (empty password), 张三, Admin, 王五 with a rights text of
// neither kind. Products: one with a long price, one without a price.
struct Fixture {
    std::optional<testing::TempWorkDir> dir;
    std::optional<testing::Program> program;
    std::optional<testing::Prompts> prompts;

    void start()
    {
        dir.emplace();
        const QString user = u"insert into username (用户名, 密码, 权限) values (?, ?, ?)"_s;
        testing::exec(user, {u"张三"_s, u"3"_s, u"普通用户"_s});
        testing::exec(user, {u"Admin"_s, u"A"_s, u"管理员"_s});
        testing::exec(user, {u"王五"_s, u"5"_s, u"店长"_s});
        const QString product = u"insert into spxx (品名, 单价) values (?, ?)"_s;
        testing::exec(product, {u"可乐"_s, 3});
        testing::exec(product, {u"薯片"_s, 12.375});
        testing::exec(product, {u"散装糖"_s, QVariant()});
        testing::exec(product, {u"饼干"_s, 1.005});
        testing::exec(u"update dynr set 店名 = '老店', 备注 = '谢谢'"_s);
        program.emplace();
        MainForm->show();
        prompts.emplace();
    }
    void stop()
    {
        prompts.reset();
        program.reset();
        dir.reset();
    }
};

// Runs steps in the modal window that a click on the button opens.
inline void inModal(QWidget *button, std::function<void(QWidget *)> steps)
{
    testing::whileModal(std::move(steps));
    testing::click(button);
}

// 设置 opens the settings window; its close button closes it after the steps.
inline void inSettings(std::function<void()> steps)
{
    inModal(MainForm->SpeedButton1, [steps](QWidget *) {
        steps();
        XtForm->close();
    });
}

inline QPoint rowPoint(ui::ListGrid *grid, int row)
{
    return grid->visualRect(grid->model()->index(row, 1)).center();
}

inline void clickRow(ui::ListGrid *grid, int row)
{
    testing::clickAt(grid->viewport(), rowPoint(grid, row));
}

// Empties a box with End and Backspace, then types the text.
inline void retype(QWidget *box, const QString &text)
{
    testing::click(box);
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    for (int n = 0; n < 300; ++n)
        QTest::keyClick(box, Qt::Key_Backspace);
    testing::typeInto(box, text);
}

inline QStringList items(QComboBox *box)
{
    QStringList all;
    for (int i = 0; i < box->count(); ++i)
        all << box->itemText(i);
    return all;
}

// "owner icon buttons text" per message, taken from the log; the general
// error display (titled with the program's name) shows as "display".
inline QStringList shown(testing::Prompts &prompts)
{
    static const char *icons[] = {"none", "information", "warning", "error", "question"};
    static const char *buttons[] = {"ok", "okcancel", "yesno"};
    QStringList out;
    for (const msg::Prompt &p : prompts.log()) {
        const QString who = p.title == u"提示"_s ? p.owner : u"display"_s;
        out << who + u' ' + QLatin1String(icons[int(p.icon)]) + u' ' + QLatin1String(buttons[int(p.buttons)])
                + u' ' + p.text;
    }
    prompts.clear();
    return out;
}

inline QList<QStringList> users()
{
    return testing::rows(u"select 用户名, 密码, 权限 from username order by rowid"_s);
}

inline QList<QStringList> products()
{
    return testing::rows(u"select 品名, 单价 from spxx order by rowid"_s);
}

} // namespace admintest
