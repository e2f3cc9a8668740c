#pragma once
// 修改用户信息
#include "ui/Form.h"

class TYhxgForm : public ui::Form {
    Q_OBJECT
public:
    explicit TYhxgForm(QWidget *parent = nullptr);
    ~TYhxgForm() override;
};

extern TYhxgForm *YhxgForm;
