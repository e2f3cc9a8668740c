#pragma once
// 权限说明
#include "ui/Form.h"

class TQxsmForm : public ui::Form {
    Q_OBJECT
public:
    explicit TQxsmForm(QWidget *parent = nullptr);
    ~TQxsmForm() override;
};

extern TQxsmForm *QxsmForm;
