#include "history/XsmxUnit.h"

#include "history/XstjUnit.h"
#include "store/Schema.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/GridFooter.h"
#include "ui/ListGrid.h"

#include <QVBoxLayout>

TXsmxForm *XsmxForm = nullptr;

using namespace schema;

TXsmxForm::TXsmxForm(QWidget *parent)
    : ui::Form("XsmxForm", QStringLiteral("销售明细"), QSize(901, 559), parent),
      ADOConnection1(connstr::designLong()),
      ADOQuery1(ADOConnection1, store::Listing::all(xsmx))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    DBGridEh1 = new ui::ListGrid(ADOQuery1,
                                 {{QStringLiteral("序号"), QString(), 45, false},
                                  {QStringLiteral("客户"), col::kehu, 110, false},
                                  {QStringLiteral("电话"), col::dianhua, 110, false},
                                  {QStringLiteral("品名"), col::pinming, 230, false},
                                  {QStringLiteral("单价"), col::danjia, 80, true},
                                  {QStringLiteral("数量"), col::shuliang, 70, true},
                                  {QStringLiteral("金额"), col::jine, 90, true},
                                  {QStringLiteral("折后"), col::zhehou, 90, true}},
                                 this);
    DBGridEh1->setObjectName(QStringLiteral("DBGridEh1"));
    DBGridEh1->setAccessibleName(QStringLiteral("销售明细"));
    layout->addWidget(DBGridEh1, 1);

    DBGridEh1Footer = new ui::GridFooter(DBGridEh1, {col::shuliang, col::jine, col::zhehou}, this);
    DBGridEh1Footer->setObjectName(QStringLiteral("DBGridEh1Footer"));
    layout->addWidget(DBGridEh1Footer);

    StatusBar1 = ui::make<QStatusBar>(this, "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    layout->addWidget(StatusBar1);
}

TXsmxForm::~TXsmxForm()
{
    if (XsmxForm == this)
        XsmxForm = nullptr;
}

void TXsmxForm::FormShow()
{
    setWindowTitle(QStringLiteral("单号：") + XstjForm->Edit1->text());
}

void TXsmxForm::showEvent(QShowEvent *event)
{
    ui::Form::showEvent(event);
    ui::guarded([this] { FormShow(); });
}
