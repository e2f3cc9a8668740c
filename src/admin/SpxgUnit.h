#pragma once
// 修改商品信息: the selected product's name and price.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/Form.h"

class Query;

class TSpxgForm : public ui::Form {
    Q_OBJECT
public:
    explicit TSpxgForm(QWidget *parent = nullptr);
    ~TSpxgForm() override;

    QLabel *Label1;            // "品名："
    QLineEdit *Edit1;          // the product name
    QLabel *Label2;            // "单价："
    QLineEdit *Edit2;          // the unit price, price filter
    QPushButton *SpeedButton1; // "修改"
    QPushButton *SpeedButton2; // "关闭"

    // Fills the dialog from the products list's current row and shows it
    // modally; saving changes that row.
    void Open(Query &products);
    void SpeedButton1Click();
    void SpeedButton2Click();

private:
    Query *products_ = nullptr; // the list whose current row is being changed

signals:
    // A product was added or changed: lists that offer products read again.
    void productsChanged();
};

extern TSpxgForm *SpxgForm;
