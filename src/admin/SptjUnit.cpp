#include "admin/SptjUnit.h"

TSptjForm *SptjForm = nullptr;

TSptjForm::TSptjForm(QWidget *parent)
    : ui::Form("SptjForm", QStringLiteral("添加新商品"), QSize(300, 180), parent),
      ADOConnection1(connstr::designLong()),
      ADOQuery1(ADOConnection1, QStringLiteral("select * from spxx"))
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();
}

TSptjForm::~TSptjForm()
{
    if (SptjForm == this)
        SptjForm = nullptr;
}
