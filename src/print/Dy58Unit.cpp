#include "print/Dy58Unit.h"

TDy58Form *Dy58Form = nullptr;

TDy58Form::TDy58Form(QWidget *parent)
    : ui::Form("Dy58Form", QStringLiteral("打印预览"), QSize(420, 560), parent),
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

TDy58Form::~TDy58Form()
{
    if (Dy58Form == this)
        Dy58Form = nullptr;
}
