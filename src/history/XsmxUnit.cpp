#include "history/XsmxUnit.h"

TXsmxForm *XsmxForm = nullptr;

TXsmxForm::TXsmxForm(QWidget *parent)
    : ui::Form("XsmxForm", QStringLiteral("销售明细"), QSize(700, 420), parent),
      ADOConnection1(connstr::designLong()),
      ADOQuery1(ADOConnection1, QStringLiteral("select * from xsmx"))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();
}

TXsmxForm::~TXsmxForm()
{
    if (XsmxForm == this)
        XsmxForm = nullptr;
}
