#pragma once
// 销售明细
#include "ui/Form.h"
#include "store/Connection.h"
#include "store/Query.h"

class TXsmxForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXsmxForm(QWidget *parent = nullptr);
    ~TXsmxForm() override;

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from xsmx"
};

extern TXsmxForm *XsmxForm;
