#include "print/ReceiptForm.h"

TReceiptForm::TReceiptForm(const char *objectName, QSize client, QWidget *parent)
    : ui::Form(objectName, QStringLiteral("打印预览"), client, parent),
      ADOConnection1(connstr::designLong()),
      ADODataSet1(ADOConnection1, QStringLiteral("select * from xsxx")),
      ADODataSet2(ADOConnection1, QStringLiteral("select * from dynr"))
{
    Reconnect();
}

void TReceiptForm::Reconnect()
{
    ADOConnection1.close();
    ADODataSet1.close();
    ADODataSet2.close();
    ADOConnection1.setConnectionString(connstr::runtime());
    ADOConnection1.open();
    ADODataSet1.open();
    ADODataSet2.open();
}
