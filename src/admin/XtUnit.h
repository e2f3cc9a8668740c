#pragma once
// 系统设置: users, products and the print content, on three tabs.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

namespace ui {
class ListGrid;
}

class TXtForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXtForm(QWidget *parent = nullptr);
    ~TXtForm() override;

    QTabWidget *PageControl1;
    QWidget *TabSheet1; // "用户(收银员)"
    QWidget *TabSheet2; // "商品(添加、修改、删除)"
    QWidget *TabSheet3; // "打印内容"

    // Users tab
    ui::ListGrid *DBGridEh1;   // all users: 序号, 用户名, 权限
    QPushButton *SpeedButton1; // "添加" a user
    QPushButton *SpeedButton2; // "修改" the selected user
    QPushButton *SpeedButton3; // "删除" the selected user
    QPushButton *SpeedButton8; // picture button: the rights explanation

    // Products tab
    ui::ListGrid *DBGridEh2;   // all products: 序号, 品名, 单价
    QPushButton *SpeedButton4; // "添加" a product
    QPushButton *SpeedButton5; // "修改" the selected product
    QPushButton *SpeedButton6; // "删除" the selected product

    // Print content tab
    QLabel *Label4;            // "店名："
    QLineEdit *Edit1;          // store name
    QLabel *Label1;            // red advice on the store name's length
    QLabel *Label5;            // "备注："
    QPlainTextEdit *Memo1;     // remark, several lines
    QLabel *Label2;            // red advice on line breaks
    QPushButton *SpeedButton7; // " 保存" the print content

    Connection ADOConnection1;
    Query ADOQuery1; // users, "select * from username"
    Query ADOQuery2; // products, "select * from spxx"
    Query ADOQuery3; // print content, "select * from dynr"

    void FormCreate();
    void FormClose();
    void SpeedButton1Click(); // add a user
    void SpeedButton2Click(); // modify a user; also DBGridEh1DblClick
    void SpeedButton3Click(); // delete a user
    void SpeedButton8Click(); // rights explanation
    void SpeedButton4Click(); // add a product
    void SpeedButton5Click(); // modify a product; also DBGridEh2DblClick
    void SpeedButton6Click(); // delete a product
    void SpeedButton7Click(); // save the print content

    // Reconnects to data.mdb and reopens the three lists on their own texts,
    // after another window wrote to the tables they show.
    void ReconnectAndReopen();

signals:
    // Closing the window: the products and users it changed are picked from
    // other windows' lists.
    void productsChanged();
    void usersChanged();
    // The print content was saved with these texts.
    void printContentChanged(const QString &storeName, const QString &remark);

private:
    void buildUsersTab();
    void buildProductsTab();
    void buildPrintContentTab();
};

extern TXtForm *XtForm;
