#include "support/Cashier.h"

#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"
#include "ui/ListGrid.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace cashier {

void enterLine(const QString &name, const QString &price, const QString &quantity, const QString &discount)
{
    testing::retype(MainForm->ComboBox1, name);
    testing::retype(MainForm->Edit3, price);
    testing::retype(MainForm->Edit4, quantity);
    testing::retype(MainForm->ComboBox2, discount);
}

void addLine(const QString &name, const QString &price, const QString &quantity, const QString &discount)
{
    enterLine(name, price, quantity, discount);
    testing::click(MainForm->SpeedButton2);
}

bool clickLine(int row)
{
    return testing::clickRow(MainForm->DBGridEh1, row);
}

QList<QStringList> lines()
{
    return testing::rows(QStringLiteral("select 品名, 单价, 数量, 金额, 折后 from xsxx order by ID"));
}

QList<QStringList> products()
{
    return testing::rows(QStringLiteral("select 品名, 单价 from spxx order by rowid"));
}

void seedProduct(const QString &name, const QVariant &price)
{
    testing::exec(QStringLiteral("insert into spxx (品名, 单价) values (?, ?)"), {name, price});
}

QStringList shown(testing::Prompts &prompts)
{
    QStringList out;
    for (const msg::Prompt &p : prompts.log()) {
        switch (p.icon) {
        case msg::Icon::Warning: out << u"warning "_s + p.owner + u' ' + p.title + u' ' + p.text; break;
        case msg::Icon::Error: out << u"error "_s + p.title + u' ' + p.text; break;
        default: out << u"other "_s + p.title + u' ' + p.text; break;
        }
    }
    prompts.clear();
    return out;
}

QString warning(const QString &text)
{
    return u"warning MainForm 提示 "_s + text;
}

QString error(const QString &text)
{
    return u"error "_s + ui::applicationTitle() + u' ' + text;
}

namespace {
QString onOff(bool on)
{
    return on ? u"on"_s : u"off"_s;
}
} // namespace

Screen &Screen::boxes(const QString &n, const QString &p, const QString &q, const QString &d)
{
    name = n;
    price = p;
    quantity = q;
    discount = d;
    return *this;
}

Screen &Screen::amounts(const QString &a, const QString &d)
{
    amount = a;
    afterDiscount = d;
    return *this;
}

Screen &Screen::selection()
{
    add = false;
    modify = true;
    remove = true;
    return *this;
}

Screen &Screen::totals(const QString &q, const QString &a, const QString &d)
{
    quantityTotal = q;
    amountTotal = a;
    afterDiscountTotal = d;
    return *this;
}

Screen &Screen::paid(const QString &r, const QString &c)
{
    received = r;
    change = c;
    return *this;
}

Screen Screen::read()
{
    const TMainForm *f = MainForm;
    Screen s;
    s.name = f->ComboBox1->currentText();
    s.price = f->Edit3->text();
    s.quantity = f->Edit4->text();
    s.discount = f->ComboBox2->currentText();
    s.amount = f->Edit11->text();
    s.afterDiscount = f->Edit12->text();
    s.add = f->SpeedButton2->isEnabled();
    s.modify = f->SpeedButton3->isEnabled();
    s.remove = f->SpeedButton4->isEnabled();
    s.quantityTotal = f->Label13->text();
    s.amountTotal = f->Label14->text();
    s.afterDiscountTotal = f->Label15->text();
    s.received = f->ComboBox4->currentText();
    s.change = f->Edit6->text();
    return s;
}

QStringList Screen::lines() const
{
    return {u"品名 "_s + name, u"单价 "_s + price, u"数量 "_s + quantity, u"折扣 "_s + discount,
            u"金额 "_s + amount, u"折后 "_s + afterDiscount, u"添加 "_s + onOff(add),
            u"修改 "_s + onOff(modify), u"删除 "_s + onOff(remove), u"合计数量 "_s + quantityTotal,
            u"合计金额 "_s + amountTotal, u"合计折后 "_s + afterDiscountTotal, u"实收 "_s + received,
            u"找零 "_s + change};
}

QStringList screen()
{
    return Screen::read().lines();
}

} // namespace cashier
