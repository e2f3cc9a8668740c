#pragma once
// The main window as a cashier works it, for the ticket-entry tests: lines
// typed into the boxes and added with a click, lines picked in the grid, and
// what data.mdb holds afterwards.
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace testing {
class Prompts;
}

namespace cashier {

// Types the four input boxes, each emptied first with the keyboard.
void enterLine(const QString &name, const QString &price, const QString &quantity, const QString &discount);
// enterLine, then a click on 添加.
void addLine(const QString &name, const QString &price, const QString &quantity,
             const QString &discount = QStringLiteral("10"));
// A click on a line of the line grid.
bool clickLine(int row);

// 品名, 单价, 数量, 金额, 折后 of the stored lines, in entry order.
QList<QStringList> lines();
// 品名, 单价 of the catalogue, in entry order.
QList<QStringList> products();
void seedProduct(const QString &name, const QVariant &price);

// The message boxes shown since the last call, one line each, and forgets
// them: "warning <owner> <title> <text>" or "error <title> <text>".
QStringList shown(testing::Prompts &prompts);
// A warning of the main window, an error of the general error display, as
// shown() writes them.
QString warning(const QString &text);
QString error(const QString &text);

// Everything of ticket entry the cashier sees, as at start by default.
struct Screen {
    QString name;
    QString price;
    QString quantity = QStringLiteral("1");
    QString discount = QStringLiteral("10");
    QString amount;
    QString afterDiscount;
    bool add = true;
    bool modify = false;
    bool remove = false;
    QString quantityTotal = QStringLiteral("0");
    QString amountTotal = QStringLiteral("0");
    QString afterDiscountTotal = QStringLiteral("0");
    QString received;
    QString change;

    Screen &boxes(const QString &n, const QString &p, const QString &q, const QString &d);
    Screen &amounts(const QString &a, const QString &d);
    Screen &selection();
    Screen &totals(const QString &q, const QString &a, const QString &d);
    Screen &paid(const QString &r, const QString &c);
    static Screen read();
    QStringList lines() const;
};

// Screen::read().lines()
QStringList screen();

} // namespace cashier
