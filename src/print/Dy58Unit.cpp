#include "print/Dy58Unit.h"

TDy58Form *Dy58Form = nullptr;

TDy58Form::TDy58Form(QWidget *parent) : TReceiptForm("Dy58Form", receipt::Paper::Mm58, QPoint(62, 21), parent) {}

TDy58Form::~TDy58Form()
{
    if (Dy58Form == this)
        Dy58Form = nullptr;
}
