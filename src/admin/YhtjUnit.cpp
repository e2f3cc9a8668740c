#include "admin/YhtjUnit.h"

TYhtjForm *YhtjForm = nullptr;

TYhtjForm::TYhtjForm(QWidget *parent)
    : ui::Form("YhtjForm", QStringLiteral("添加新用户"), QSize(300, 200), parent),
      ADOConnection1(connstr::designLong()),
      ADOQuery1(ADOConnection1, QStringLiteral("select * from username"))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();
}

TYhtjForm::~TYhtjForm()
{
    if (YhtjForm == this)
        YhtjForm = nullptr;
}
