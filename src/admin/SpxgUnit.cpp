#include "admin/SpxgUnit.h"

#include "admin/ProductText.h"
#include "base/AppError.h"
#include "store/Amounts.h"
#include "store/Idioms.h"
#include "store/Price.h"
#include "store/Query.h"
#include "store/Schema.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/MessageBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

TSpxgForm *SpxgForm = nullptr;

TSpxgForm::TSpxgForm(QWidget *parent)
    : ui::Form("SpxgForm", QStringLiteral("修改商品信息"), QSize(264, 223), parent)
{
    auto *form = new QGridLayout;
    product::nameAndPriceBoxes(this, form, Label1, Edit1, Label2, Edit2);
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("修改"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("关闭"));
    ui::layOutDialog(this, form, {SpeedButton1, SpeedButton2}, 14);

    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
}

TSpxgForm::~TSpxgForm()
{
    if (SpxgForm == this)
        SpxgForm = nullptr;
}

void TSpxgForm::Open(Query &products)
{
    products_ = &products;
    Edit1->setText(products.fieldText(schema::col::pinming));
    // A product added without a price opens with an empty price box; one
    // stored before prices were checked (an infinity the grid shows as INF)
    // opens with that text, to be corrected before it can be saved.
    const QString stored = products.fieldText(schema::col::danjia);
    Edit2->setText(price::isValid(stored) ? amounts::normalisedPrice(stored) : stored);
    Edit1->setFocus();
    exec();
}

void TSpxgForm::SpeedButton1Click()
{
    if (!products_)
        throw AppError(QStringLiteral("没有选中的商品"));
    // No check of emptiness: an empty name or price is stored as it is.
    product::requireStorable(Edit1->text(), Edit2->text());
    idiom::changeRow(*products_, {{schema::col::pinming, Edit1->text()}, {schema::col::danjia, Edit2->text()}});
    msg::show(this, QStringLiteral("修改商品信息成功！"), msg::Icon::None);
    emit productsChanged();
    close();
}

void TSpxgForm::SpeedButton2Click()
{
    close();
}
