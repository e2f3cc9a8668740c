#pragma once
// 添加新用户
#include "ui/Form.h"
#include "store/Connection.h"
#include "store/Query.h"

class TYhtjForm : public ui::Form {
    Q_OBJECT
public:
    explicit TYhtjForm(QWidget *parent = nullptr);
    ~TYhtjForm() override;

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from username"
};

extern TYhtjForm *YhtjForm;
