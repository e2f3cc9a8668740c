#include "print/Dy76Unit.h"

TDy76Form *Dy76Form = nullptr;

TDy76Form::TDy76Form(QWidget *parent) : TReceiptForm("Dy76Form", receipt::Paper::Mm76, QPoint(22, 21), parent) {}

TDy76Form::~TDy76Form()
{
    if (Dy76Form == this)
        Dy76Form = nullptr;
}
