#include "print/Dy76Unit.h"

TDy76Form *Dy76Form = nullptr;

TDy76Form::TDy76Form(QWidget *parent)
    : ui::Form("Dy76Form", QStringLiteral("打印预览"), QSize(480, 560), parent),
      ADOConnection1(connstr::designLong()),
      ADODataSet1(ADOConnection1, QStringLiteral("select * from xsxx")),
      ADODataSet2(ADOConnection1, QStringLiteral("select * from dynr"))
{
    // The data sets open through a reconnection to data.mdb as found now.
    ADOConnection1.close();
    ADOConnection1.setConnectionString(connstr::runtime());
    ADOConnection1.open();
    ADODataSet1.open();
    ADODataSet2.open();
}

TDy76Form::~TDy76Form()
{
    if (Dy76Form == this)
        Dy76Form = nullptr;
}
