#pragma once
// 销售明细: the lines of one archived ticket, titled with its number.
#include <QStatusBar>

#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

namespace ui {
class GridFooter;
class ListGrid;
} // namespace ui

class TXsmxForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXsmxForm(QWidget *parent = nullptr);
    ~TXsmxForm() override;

    ui::ListGrid *DBGridEh1;          // the ticket's lines over ADOQuery1
    ui::GridFooter *DBGridEh1Footer;  // 合计 with the sums of 数量, 金额, 折后
    QStatusBar *StatusBar1;           // empty

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from xsmx", then the lines of the ticket double-clicked

    void FormShow(); // title "单号：" and the ticket number

protected:
    void showEvent(QShowEvent *event) override;
};

extern TXsmxForm *XsmxForm;
