#include "history/XscxUnit.h"

TXscxForm *XscxForm = nullptr;

TXscxForm::TXscxForm(QWidget *parent)
    : ui::Form("XscxForm", QStringLiteral("销售查询"), QSize(500, 400), parent),
      ADOConnection1(connstr::designShort()),
      ADOQuery1(ADOConnection1, QStringLiteral("select * from xstj")),
      ADOQuery2(ADOConnection1, QStringLiteral("select * from username"))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();
    ADOQuery2.open();
}

TXscxForm::~TXscxForm()
{
    if (XscxForm == this)
        XscxForm = nullptr;
}
