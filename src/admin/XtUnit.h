#pragma once
// 系统设置: users, products and the print content, on three tabs.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

class TXtForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXtForm(QWidget *parent = nullptr);
    ~TXtForm() override;

    QTabWidget *PageControl1;
    QWidget *TabSheet1;        // "用户(收银员)"
    QWidget *TabSheet2;        // "商品(添加、修改、删除)"
    QWidget *TabSheet3;        // "打印内容"
    QPushButton *SpeedButton1; // 添加 on the user tab
    QPushButton *SpeedButton2; // 修改 on the user tab
    QPushButton *SpeedButton3; // 删除 on the user tab
    QLineEdit *Edit1;          // store name on the print content tab
    QPlainTextEdit *Memo1;     // remark on the print content tab

    Connection ADOConnection1;
    Query ADOQuery1; // users, "select * from username"
    Query ADOQuery2; // products, "select * from spxx"
    Query ADOQuery3; // print content, "select * from dynr"

    void FormCreate();
};

extern TXtForm *XtForm;
