#include "admin/SptjUnit.h"

#include "admin/ProductText.h"
#include "app/Links.h"
#include "store/Idioms.h"
#include "store/Schema.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/KeyFilter.h"
#include "ui/MessageBox.h"
#include "ui/OneLine.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

TSptjForm *SptjForm = nullptr;

TSptjForm::TSptjForm(QWidget *parent)
    : ui::Form("SptjForm", QStringLiteral("添加新商品"), QSize(264, 227), parent),
      ADOConnection1(connstr::designLong()),
      ADOQuery1(ADOConnection1, QStringLiteral("select * from %1").arg(schema::spxx))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();
    // Left open, it must not keep the program running once the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *form = new QGridLayout;
    Edit1 = ui::make<QLineEdit>(this, "Edit1");
    Label1 = ui::label(this, "Label1", QStringLiteral("品名："), Edit1);
    Edit2 = ui::make<QLineEdit>(this, "Edit2");
    Label2 = ui::label(this, "Label2", QStringLiteral("单价："), Edit2);
    new ui::NumericKeyFilter(Edit2);
    // A pasted line break or control character never becomes part of a
    // product's name or price (the main window's boxes would not hold it).
    ui::keepOneLine(Edit1);
    ui::keepOneLine(Edit2);
    CheckBox1 = ui::make<QCheckBox>(this, "CheckBox1", QStringLiteral("继续添加商品"));
    CheckBox1->setChecked(true);
    form->addWidget(Label1, 0, 0);
    form->addWidget(Edit1, 0, 1);
    form->addWidget(Label2, 1, 0);
    form->addWidget(Edit2, 1, 1);
    form->addWidget(CheckBox1, 2, 1, Qt::AlignLeft);
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("添加"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("关闭"));
    ui::layOutDialog(this, form, {SpeedButton1, SpeedButton2}, 14);

    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
}

TSptjForm::~TSptjForm()
{
    if (SptjForm == this)
        SptjForm = nullptr;
}

void TSptjForm::Open()
{
    Edit1->clear();
    Edit2->clear();
    show();
    raise();
    activateWindow();
    Edit1->setFocus();
}

void TSptjForm::SpeedButton1Click()
{
    const QString name = Edit1->text();
    const QString price = Edit2->text();
    // One empty box alone is accepted: a product without a name or a price.
    if (name.isEmpty() && price.isEmpty()) {
        msg::show(this, QStringLiteral("添加商品不能为空！"), msg::Icon::None);
        return;
    }
    product::requireStorable(name, price);
    idiom::appendRow(ADOQuery1, {{schema::col::pinming, name}, {schema::col::danjia, price}});
    Edit1->clear();
    Edit2->clear();
    msg::show(this, QStringLiteral("添加商品成功！"), msg::Icon::None);
    app::reloadProductList();
    app::refreshSettingsWindow();
    if (!CheckBox1->isChecked())
        close();
}

void TSptjForm::SpeedButton2Click()
{
    close();
}
