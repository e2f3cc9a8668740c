#pragma once
// 销售统计: the archived tickets with their totals; from here a ticket is
// shown line by line, deleted, searched for, and the list exported.
#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>

class QBoxLayout;

#include "store/Connection.h"
#include "store/Query.h"
#include "store/SalesRange.h"
#include "ui/Form.h"

namespace ui {
class GridFooter;
class ListGrid;
} // namespace ui

class TXstjForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXstjForm(QWidget *parent = nullptr);
    ~TXstjForm() override;

    // The lists: "select * from xstj order by 时间 asc", oldest first, when
    // the window is opened; "select * from xstj", stored order, after 刷新.
    static store::Listing listByTime();
    static store::Listing listAll();

    QPushButton *SpeedButton1; // 查询
    QPushButton *SpeedButton3; // 刷新
    QPushButton *SpeedButton2; // 导出
    QPushButton *SpeedButton4; // 删除
    QPushButton *SpeedButton5; // 重打: the selected ticket's receipt again
    QPushButton *SpeedButton6; // 日结: a day's figures per cashier
    QPushButton *SpeedButton7; // 筛选: the tickets of the days and cashier chosen
    QPushButton *SpeedButton8; // 清除: every ticket again
    QPushButton *SpeedButton9; // 汇总: the chosen days by day and by cashier
    QLabel *Label1;            // "日期："
    QDateEdit *DateTimePicker1; // first day of the range
    QLabel *Label2;            // "至"
    QDateEdit *DateTimePicker2; // last day of the range
    QLabel *Label3;            // "收银员："
    QComboBox *ComboBox1;      // 全部, then the cashiers
    QLabel *Label4;            // what the list holds now
    ui::ListGrid *DBGridEh1;   // the tickets over ADOQuery1
    ui::GridFooter *DBGridEh1Footer; // 合计 with the sums of 数量, 金额, 折后
    QLineEdit *Edit1;          // hidden: the ticket number last double-clicked
    QStatusBar *StatusBar1;    // empty
    QMenu *PopupMenu1;         // the list's context menu
    QAction *N1;               // 查询
    QAction *N2;               // 刷新
    QAction *N3;               // separator
    QAction *N4;               // 导出
    QAction *N5;               // separator
    QAction *N6;               // 删除
    QAction *N7;               // separator
    QAction *N8;               // 重打

    Connection ADOConnection1;
    Query ADOQuery1; // the list: "select * from xstj", then as opened, refreshed or queried

    // Handlers; each menu item runs its button's steps.
    void SpeedButton1Click(); // 查询: opens the query window
    void N1Click() { SpeedButton1Click(); }
    void SpeedButton3Click(); // 刷新
    void N2Click() { SpeedButton3Click(); }
    void SpeedButton2Click(); // 导出
    void N4Click() { SpeedButton2Click(); }
    void SpeedButton4Click(); // 删除
    void N6Click() { SpeedButton4Click(); }
    void SpeedButton5Click(); // 重打
    void N8Click() { SpeedButton5Click(); }
    void SpeedButton6Click(); // 日结
    void SpeedButton7Click(); // 筛选
    void SpeedButton8Click(); // 清除
    void SpeedButton9Click(); // 汇总
    void DBGridEh1DblClick(); // the selected ticket's lines
    // A click on a column title: 时间 lists the newest first, then the
    // oldest first again; the other titles sort nothing.
    void DBGridEh1TitleClick(int column);

    // The days and the cashier the boxes hold now.
    salesrange::Filter filter() const;
    // The text of ComboBox1 that stands for every cashier.
    static QString everyCashier();

signals:
    // The archived ticket of that number is to be printed again.
    void reprintRequested(const QString &number);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void buildFilterRow(QBoxLayout *layout);
    void wireHandlers();
    // The boxes as the window opens: today, every cashier, the users and
    // the archive's cashiers listed anew.
    void FormShow();
    void resetFilterBoxes();
    // Newest first when the list is in time order the newest first now.
    bool newestFirst();
    // The title's arrow and Label4 follow what the list holds.
    void showListed();

    // A time order the user chose with the title, shown by its arrow until
    // the window is opened again.
    bool timeOrderChosen_ = false;
};

extern TXstjForm *XstjForm;
