#include "admin/SpxgUnit.h"

TSpxgForm *SpxgForm = nullptr;

TSpxgForm::TSpxgForm(QWidget *parent)
    : ui::Form("SpxgForm", QStringLiteral("修改商品信息"), QSize(300, 180), parent)
{
}

TSpxgForm::~TSpxgForm()
{
    if (SpxgForm == this)
        SpxgForm = nullptr;
}
