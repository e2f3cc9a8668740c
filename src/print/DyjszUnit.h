#pragma once
// 打印机设置: which printer this till prints on, kept in velmora.ini
// [printer] (print/PrinterSettings.h). The window and a hand-edited file set
// the same keys; the checkout reads the file for every receipt.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/Form.h"

class TDyjszForm : public ui::Form {
    Q_OBJECT
public:
    explicit TDyjszForm(QWidget *parent = nullptr);
    ~TDyjszForm() override;

    QLabel *Label1;            // "打印机："
    QComboBox *ComboBox1;      // the kind, pick only: "CUPS 打印机(驱动)", "ESC/POS 小票打印机"
    QLabel *Label2;            // "地址："
    QLineEdit *Edit1;          // the ESC/POS printer's address
    QCheckBox *CheckBox1;      // "打开钱箱": the drawer opens after each printed receipt
    QPushButton *SpeedButton1; // "保存"
    QPushButton *SpeedButton2; // "关闭"

    // Shows what velmora.ini holds and runs the window modally. A file the
    // checkout could not read is told and the window stays shut: what the
    // controls showed would not be what the till does.
    void Open();
    void SpeedButton1Click(); // save
    void SpeedButton2Click(); // close

private:
    // The address and the drawer mean something for ESC/POS only.
    void showKind();
};

extern TDyjszForm *DyjszForm;
