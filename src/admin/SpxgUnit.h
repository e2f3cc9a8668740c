#pragma once
// 修改商品信息
#include "ui/Form.h"

class TSpxgForm : public ui::Form {
    Q_OBJECT
public:
    explicit TSpxgForm(QWidget *parent = nullptr);
    ~TSpxgForm() override;
};

extern TSpxgForm *SpxgForm;
