#include "admin/QxsmUnit.h"

TQxsmForm *QxsmForm = nullptr;

TQxsmForm::TQxsmForm(QWidget *parent)
    : ui::Form("QxsmForm", QStringLiteral("权限说明"), QSize(400, 300), parent)
{
}

TQxsmForm::~TQxsmForm()
{
    if (QxsmForm == this)
        QxsmForm = nullptr;
}
