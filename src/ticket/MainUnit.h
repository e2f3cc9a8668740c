#pragma once
// The main window: the working ticket (its boxes plus the rows of xsxx), the
// totals, payment and change, the print settings and the way to the other
// windows.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <memory>

#include "store/Archive.h"
#include "store/Connection.h"
#include "store/Idioms.h"
#include "store/Query.h"
#include "store/SumList.h"

namespace ui {
class ListGrid;
}

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // Ticket head
    QLabel *Label2;       // "单号："
    QLineEdit *Edit1;     // ticket number
    QCheckBox *CheckBox1; // time option "时间："
    QLineEdit *Edit2;     // ticket time, written by the clock
    QCheckBox *CheckBox2; // customer option "客户："
    QLineEdit *Edit9;     // customer name
    QCheckBox *CheckBox3; // phone option "电话："
    QLineEdit *Edit10;    // customer telephone

    // Line input
    QLabel *Label4;            // "品名："
    QComboBox *ComboBox1;      // product name; items: the product list
    QLabel *Label5;            // "单价："
    QLineEdit *Edit3;          // unit price
    QLabel *Label6;            // "数量："
    QLineEdit *Edit4;          // quantity
    QLabel *Label7;            // "折扣："
    QComboBox *ComboBox2;      // discount in tenths
    QPushButton *SpeedButton9; // "抹零"
    QLabel *Label3;            // "金额："
    QLineEdit *Edit11;         // line amount (read-only)
    QLabel *Label16;           // "折后："
    QLineEdit *Edit12;         // line amount after discount (read-only)
    QPushButton *SpeedButton2; // "添加"
    QPushButton *SpeedButton3; // "修改"
    QPushButton *SpeedButton4; // "删除"

    // Lines and totals
    ui::ListGrid *DBGridEh1; // line grid over ADOQuery2
    QLabel *Label12;         // "合计："
    QLabel *Label13;         // quantity total
    QLabel *Label14;         // amount total
    QLabel *Label15;         // after-discount total (its text is what the checkout charges)

    // Cashier, payment and shop
    QLabel *Label17;          // "收银员："
    QComboBox *ComboBox6;     // cashier
    QLabel *Label8;           // "店名："
    QLineEdit *Edit5;         // store name, shown only
    QLabel *Label9;           // "实收："
    QComboBox *ComboBox4;     // cash received
    QLabel *Label10;          // "找零："
    QLineEdit *Edit6;         // change (read-only)
    QPlainTextEdit *Memo1;    // remark holder (hidden)
    QLineEdit *Edit7;         // scratch box of the product search (hidden)

    // Buttons and print settings
    QPushButton *SpeedButton6; // "打印(F5)"
    QPushButton *SpeedButton1; // "设置"
    QPushButton *SpeedButton7; // "统计"
    QPushButton *SpeedButton5; // "预览"
    QPushButton *SpeedButton10; // "打印机设置": which printer, the cash drawer
    QLabel *Label11;           // "POS选择："
    QComboBox *ComboBox5;      // paper width
    QLabel *Label1;            // "打印份数："
    QComboBox *ComboBox3;      // copies

    QStatusBar *StatusBar1;
    QLabel *StatusPanel[3]; // panels 0..2 of the status bar

    // Data
    Connection ADOConnection1;
    Query ADOQuery1; // products, "select * from spxx"
    Query ADOQuery2; // the working ticket's lines, "select * from xsxx"
    Query ADOQuery3; // print content, "select * from dynr"
    Query ADOQuery4; // archived tickets, "select * from xstj"
    Query ADOQuery5; // archived lines, "select * from xsmx"
    Query ADOQuery6; // settings row, "select * from id"
    Query ADOQuery7; // users, "select * from username"
    SumList DBSumList1; // 0: 数量, 1: 金额, 2: 折后 over ADOQuery2
    QTimer Timer1;      // the clock

    // Status bar panel text.
    void setStatusPanel(int index, const QString &text);
    QString statusPanel(int index) const;

    // Handlers
    void FormCreate();
    void FormShow();
    void Timer1Timer();
    void SpeedButton1Click(); // 设置
    void CheckBox1Click();    // time option
    void CheckBox2Click();    // customer option
    void CheckBox3Click();    // phone option
    void ComboBox5Change();   // paper width
    void ComboBox3Change();   // copies
    void WMHotKey(int virtualKey);
    void SpeedButton6Click(); // checkout
    void SpeedButton5Click(); // 预览
    void SpeedButton10Click(); // 打印机设置
    void SpeedButton7Click(); // 统计

    // Ticket entry
    void SpeedButton2Click(); // 添加
    void SpeedButton3Click(); // 修改
    void SpeedButton4Click(); // 删除
    void DBGridEh1CellClick();
    void ComboBox1Click();    // product pick
    void AmountKeyUp();       // Edit3KeyUp, Edit4KeyUp, ComboBox2KeyUp, ComboBox2Click
    void ComboBox4Change();   // change, also ComboBox4KeyUp
    void SpeedButton9Click(); // 抹零
    void RefreshTotals();
    void fitTotals();

    // The ticket number: the program's, made from the clock now, or one it
    // was given. An administrator may type another into the box.
    void showNewTicketNumber();
    void showTicketNumber(const QString &number, bool programs);
    // The box holds something other than the program's number.
    bool numberTyped() const;
    // The number typed into the box; empty while it holds the program's.
    QString typedNumber() const { return numberTyped() ? Edit1->text() : QString(); }

    // What a checkout shows of the sale (it knows the window only through
    // these, wired under app/).
    void showArchivedSale(const archive::Sale &sale); // its number and totals as archived
    void showPrinting(bool printing);                 // 打印(F5) says "正在打印…" meanwhile
    void startNextTicket(const QString &lastNumber);  // totals "0", payment empty, the next number
    void showRestoredSale(const archive::Sale &sale); // an undone sale is the working ticket again
    // The reconnection of 添加: the connection closed, pointed at data.mdb in
    // the current directory and opened with every query of the window.
    void reconnectQueries();

    static constexpr int kVkF1 = 112;
    static constexpr int kVkF5 = 116;

signals:
    // What the window asks of others; app/ wires each to its answer.
    void checkoutRequested();   // 打印(F5) or F5
    void previewRequested();    // 预览
    void settingsRequested();   // 设置
    void printerSettingsRequested(); // 打印机设置
    void statisticsRequested(); // 统计
    void lineWritten();         // 添加 or 修改 ran: the catalogue may have learnt a product

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void wireHandlers();
    void learnProduct();
    idiom::FieldValues lineValues() const;
    void requireLineFits(int replacedRow);
    void resetLineInput(bool amountsToo);
    void computeAmounts(bool checkEmpty);
    bool shownOnce_ = false;
    QString programsNumber_;
};

extern TMainForm *MainForm;
