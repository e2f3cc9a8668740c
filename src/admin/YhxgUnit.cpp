#include "admin/YhxgUnit.h"

TYhxgForm *YhxgForm = nullptr;

TYhxgForm::TYhxgForm(QWidget *parent)
    : ui::Form("YhxgForm", QStringLiteral("修改用户信息"), QSize(300, 200), parent)
{
}

TYhxgForm::~TYhxgForm()
{
    if (YhxgForm == this)
        YhxgForm = nullptr;
}
