#pragma once
// 系统设置: users, products and the print content, on three tabs.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

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
    QWidget *TabSheet4; // "备份": the backups of data.mdb, restore (hidden with a server)

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

    // Backup tab
    QLabel *Label6;             // "备份文件夹："
    QLineEdit *Edit2;           // the folder of backups (shown only)
    QPushButton *SpeedButton9;  // "选择文件夹…": another folder (a USB stick)
    QTableWidget *StringGrid1;  // the backups: 备份时间, 小票数, 最后销售, newest first
    QLabel *Label7;             // when backups are taken, how many kept
    QPushButton *SpeedButton10; // "恢复" the selected backup

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
    void TabSheet4Show();      // the backups listed anew
    void SpeedButton9Click();  // choose the folder of backups
    void SpeedButton10Click(); // restore the selected backup
    // The backup file of the selected row; empty when none is selected.
    QString selectedBackup() const;

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
    // An administrator chose to put this backup in the place of data.mdb.
    void restoreRequested(const QString &backupFile);

private:
    void buildUsersTab();
    void buildProductsTab();
    void buildPrintContentTab();
    void buildBackupTab();
};

extern TXtForm *XtForm;
