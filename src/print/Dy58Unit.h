#pragma once
// 打印预览 of the 58 mm receipt.
#include "print/ReceiptForm.h"

class TDy58Form : public TReceiptForm {
    Q_OBJECT
public:
    explicit TDy58Form(QWidget *parent = nullptr);
    ~TDy58Form() override;
};

extern TDy58Form *Dy58Form;
