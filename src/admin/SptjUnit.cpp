#include "admin/SptjUnit.h"

#include "admin/ProductText.h"
#include "admin/XtUnit.h"
#include "store/Idioms.h"
#include "store/Schema.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/MessageBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

TSptjForm *SptjForm = nullptr;

TSptjForm::TSptjForm(QWidget *parent)
    : ui::Form("SptjForm", QStringLiteral("添加新商品"), QSize(264, 227), parent),
      ADOConnection1(connstr::designLong()),
      ADOQuery1(ADOConnection1, store::Listing::all(schema::spxx))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();
    // Left open, it must not keep the program running once the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *form = new QGridLayout;
    product::nameAndPriceBoxes(this, form, Label1, Edit1, Label2, Edit2);
    CheckBox1 = ui::make<QCheckBox>(this, "CheckBox1", QStringLiteral("继续添加商品"));
    CheckBox1->setChecked(true);
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
    emit productsChanged();
    XtForm->ReconnectAndReopen();
    if (!CheckBox1->isChecked())
        close();
}

void TSptjForm::SpeedButton2Click()
{
    close();
}
