#include "history/XstjUnit.h"

#include "ui/FormKit.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TXstjForm *XstjForm = nullptr;

TXstjForm::TXstjForm(QWidget *parent)
    : ui::Form("XstjForm", QStringLiteral("销售统计"), QSize(700, 480), parent),
      ADOConnection1(connstr::designShort()),
      ADOQuery1(ADOConnection1, QStringLiteral("select * from xstj"))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();
    auto *layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    SpeedButton4 = ui::button(this, "SpeedButton4", QStringLiteral("删除"));
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton4);
    layout->addStretch(1);
    layout->addLayout(buttons);
    PopupMenu1 = ui::make<QMenu>(this, "PopupMenu1");
    N6 = PopupMenu1->addAction(QStringLiteral("删除"));
    N6->setObjectName(QStringLiteral("N6"));
}

TXstjForm::~TXstjForm()
{
    if (XstjForm == this)
        XstjForm = nullptr;
}
