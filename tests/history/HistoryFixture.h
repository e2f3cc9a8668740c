#pragma once
// What the sales-history tests share: an archive written as the checkout
// writes it, the windows reached as a user reaches them (统计 in the main
// window, then the buttons, the grid and its menu), and the grids and their
// footers read as shown.
#include "support/TestSupport.h"

#include "history/XscxUnit.h"
#include "history/XsmxUnit.h"
#include "history/XstjUnit.h"
#include "ticket/MainUnit.h"
#include "ui/GridFooter.h"
#include "ui/ListGrid.h"

#include <QMenu>
#include <QtTest>

#include <functional>
#include <memory>

namespace historytest {

inline void addTicket(const QString &number, const QString &time, const QVariant &quantity,
                      const QVariant &amount, const QVariant &afterDiscount, const QString &cashier)
{
    testing::exec(QStringLiteral("insert into xstj (单号, 时间, 数量, 金额, 折后, 收银员) values (?, ?, ?, ?, ?, ?)"),
                  {number, time, quantity, amount, afterDiscount, cashier});
}

inline void addLine(const QString &number, const QString &name, double price, double quantity, double amount,
                    double afterDiscount, const QString &customer = {}, const QString &phone = {})
{
    testing::exec(QStringLiteral("insert into xsmx (单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后) "
                                 "values (?, '2024-03-01 08:00:00', ?, ?, ?, ?, ?, ?, ?)"),
                  {number, customer, phone, name, price, quantity, amount, afterDiscount});
}

inline int count(const QString &table)
{
    return testing::scalar(QStringLiteral("select count(*) from ") + table).toInt();
}

// The grid's rows as shown, every column's text; rows not read yet are read.
inline QList<QStringList> shownRows(ui::ListGrid *grid)
{
    QAbstractItemModel *model = grid->model();
    while (model->canFetchMore({}))
        model->fetchMore({});
    QList<QStringList> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < model->columnCount(); ++c)
            row << model->index(r, c).data().toString();
        rows << row;
    }
    return rows;
}

// One column of the shown rows.
inline QStringList shownColumn(ui::ListGrid *grid, int column)
{
    QStringList values;
    for (const QStringList &row : shownRows(grid))
        values << row.value(column);
    return values;
}

inline QStringList footerTexts(ui::GridFooter *footer, int columns)
{
    QStringList texts;
    for (int c = 0; c < columns; ++c)
        texts << footer->text(c);
    return texts;
}

// Opens 销售统计 with the main window's 统计 button and runs the steps in it;
// the window is closed afterwards if the steps left it open.
inline void inStatistics(std::function<void()> steps)
{
    testing::whileModal([steps](QWidget *) {
        QVERIFY(QTest::qWaitForWindowExposed(XstjForm));
        steps();
    });
    testing::click(MainForm->SpeedButton7);
}

// A row of the statistics grid as a user picks it: a click on its 单号 cell.
inline void clickRow(ui::ListGrid *grid, int row)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

// A double-click as the window system delivers it: press, release, press
// (which Qt turns into a double-click), release.
inline void doubleClickAt(ui::ListGrid *grid, QPoint at)
{
    QWidget *top = grid->window();
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, grid->viewport()->mapTo(top, at));
}

inline QPoint rowPoint(ui::ListGrid *grid, int row)
{
    return grid->visualRect(grid->model()->index(row, 1)).center();
}

// A point of the grid's empty area, below its rows.
inline QPoint emptyPoint(ui::ListGrid *grid)
{
    return {grid->viewport()->width() / 2, grid->viewport()->height() - 5};
}

// Chooses an item of the grid's context menu: a right click on the grid,
// then a click on the item. False when the menu did not open or the item is
// disabled.
inline bool chooseFromMenu(TXstjForm *form, QAction *item, QPoint at)
{
    // Through the window, as the window system delivers it: Qt makes the
    // context-menu event of a right click there.
    QWidget *top = form->DBGridEh1->window();
    QTest::mouseClick(top->windowHandle(), Qt::RightButton, Qt::NoModifier,
                      form->DBGridEh1->viewport()->mapTo(top, at));
    if (!QTest::qWaitFor([form] { return form->PopupMenu1->isVisible(); }, 2000))
        return false;
    const bool enabled = item->isEnabled();
    QTest::mouseClick(form->PopupMenu1, Qt::LeftButton, Qt::NoModifier,
                      form->PopupMenu1->actionGeometry(item).center());
    if (form->PopupMenu1->isVisible())
        form->PopupMenu1->hide();
    return enabled;
}

} // namespace historytest
