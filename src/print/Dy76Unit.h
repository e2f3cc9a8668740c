#pragma once
// 打印预览 of the 76 mm receipt.
#include "print/ReceiptForm.h"

class TDy76Form : public TReceiptForm {
    Q_OBJECT
public:
    explicit TDy76Form(QWidget *parent = nullptr);
    ~TDy76Form() override;
};

extern TDy76Form *Dy76Form;
