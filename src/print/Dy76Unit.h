#pragma once
// 打印预览
#include "ui/Form.h"
#include "store/Connection.h"
#include "store/Query.h"

class TDy76Form : public ui::Form {
    Q_OBJECT
public:
    explicit TDy76Form(QWidget *parent = nullptr);
    ~TDy76Form() override;

    Connection ADOConnection1;
    Query ADODataSet1; // "select * from xsxx"
    Query ADODataSet2; // "select * from dynr"
};

extern TDy76Form *Dy76Form;
