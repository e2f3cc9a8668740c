#pragma once
// 添加新商品
#include "ui/Form.h"
#include "store/Connection.h"
#include "store/Query.h"

class TSptjForm : public ui::Form {
    Q_OBJECT
public:
    explicit TSptjForm(QWidget *parent = nullptr);
    ~TSptjForm() override;

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from spxx"
};

extern TSptjForm *SptjForm;
