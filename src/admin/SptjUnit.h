#pragma once
// 添加新商品: not modal, so the settings window stays usable beside it; it
// stays open when the settings window closes.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

class TSptjForm : public ui::Form {
    Q_OBJECT
public:
    explicit TSptjForm(QWidget *parent = nullptr);
    ~TSptjForm() override;

    QLabel *Label1;            // "品名："
    QLineEdit *Edit1;          // the product name
    QLabel *Label2;            // "单价："
    QLineEdit *Edit2;          // the unit price, price filter
    QCheckBox *CheckBox1;      // "继续添加商品": stay open after an add
    QPushButton *SpeedButton1; // "添加"
    QPushButton *SpeedButton2; // "关闭"

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from spxx"; only appends

    // Empties both boxes and shows the dialog without blocking.
    void Open();
    void SpeedButton1Click();
    void SpeedButton2Click();

signals:
    // A product was added or changed: lists that offer products read again.
    void productsChanged();
};

extern TSptjForm *SptjForm;
