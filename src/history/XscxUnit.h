#pragma once
// 销售查询
#include "ui/Form.h"
#include "store/Connection.h"
#include "store/Query.h"

class TXscxForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXscxForm(QWidget *parent = nullptr);
    ~TXscxForm() override;

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from xstj"
    Query ADOQuery2; // "select * from username"
};

extern TXscxForm *XscxForm;
