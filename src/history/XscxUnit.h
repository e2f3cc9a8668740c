#pragma once
// 销售查询: narrows the sales list to the tickets whose number, or whose
// cashier, contains the typed text.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

class TXscxForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXscxForm(QWidget *parent = nullptr);
    ~TXscxForm() override;

    QLabel *Label1;            // "单号："
    QComboBox *ComboBox1;      // ticket number or part of one; list: every ticket number, ascending
    QLabel *Label2;            // "收银员："
    QComboBox *ComboBox2;      // cashier or part of a name; list: every user name
    QPushButton *SpeedButton1; // 查询
    QPushButton *SpeedButton2; // 退出

    Connection ADOConnection1; // the ticket number list is read through it by pages
    Query ADOQuery2; // the user name list

    void SpeedButton1Click(); // 查询
    void SpeedButton2Click(); // 退出
};

extern TXscxForm *XscxForm;
