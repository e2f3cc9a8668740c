#include "history/XscxUnit.h"

#include "history/XstjUnit.h"
#include "store/Idioms.h"
#include "store/Schema.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/MessageBox.h"
#include "ui/OneLine.h"

#include <QGridLayout>
#include <QHBoxLayout>

TXscxForm *XscxForm = nullptr;

using namespace schema;

namespace {
QComboBox *editableList(QWidget *parent, const char *name)
{
    auto *c = ui::make<QComboBox>(parent, name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setCompleter(nullptr);
    c->setMaxVisibleItems(15);
    // Searched for as the names and numbers are stored: in one line.
    ui::keepOneLine(c);
    return c;
}
} // namespace

TXscxForm::TXscxForm(QWidget *parent)
    : ui::Form("XscxForm", QStringLiteral("销售查询"), QSize(264, 221), parent),
      ADOConnection1(connstr::designShort()),
      ADOQuery2(ADOConnection1, store::Listing::all(username))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery2.open();

    ComboBox1 = editableList(this, "ComboBox1");
    ComboBox2 = editableList(this, "ComboBox2");
    Label1 = ui::label(this, "Label1", QStringLiteral("单号："), ComboBox1);
    Label2 = ui::label(this, "Label2", QStringLiteral("收银员："), ComboBox2);
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("查询"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("退出"));

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(20, 28, 20, 24);
    grid->setVerticalSpacing(22);
    grid->setHorizontalSpacing(6);
    grid->addWidget(Label1, 0, 0, Qt::AlignRight);
    grid->addWidget(ComboBox1, 0, 1);
    grid->addWidget(Label2, 1, 0, Qt::AlignRight);
    grid->addWidget(ComboBox2, 1, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : {SpeedButton1, SpeedButton2}) {
        b->setMinimumSize(75, 28);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    grid->addLayout(buttons, 3, 0, 1, 2);

    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
}

TXscxForm::~TXscxForm()
{
    if (XscxForm == this)
        XscxForm = nullptr;
}

void TXscxForm::SpeedButton1Click()
{
    const QString number = ComboBox1->currentText();
    const QString cashier = ComboBox2->currentText();
    if (number.isEmpty() && cashier.isEmpty()) {
        msg::show(this, QStringLiteral("查询信息不能为空！"), msg::Icon::Warning);
        return;
    }
    // The two conditions are never combined: with both filled nothing happens.
    if (!number.isEmpty() && cashier.isEmpty()) {
        idiom::containsSearch(XstjForm->ADOQuery1, xstj, col::danhao, number);
        close();
    }
    if (number.isEmpty() && !cashier.isEmpty()) {
        idiom::containsSearch(XstjForm->ADOQuery1, xstj, col::shouyinyuan, cashier);
        close();
    }
}

void TXscxForm::SpeedButton2Click()
{
    close();
}
