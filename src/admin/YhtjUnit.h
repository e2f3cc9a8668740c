#pragma once
// 添加新用户: adds users one after another while "继续添加用户" is checked.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

class TYhtjForm : public ui::Form {
    Q_OBJECT
public:
    explicit TYhtjForm(QWidget *parent = nullptr);
    ~TYhtjForm() override;

    QLabel *Label1;            // "用户名："
    QLineEdit *Edit1;          // the new user's name
    QLabel *Label2;            // "密  码："
    QLineEdit *Edit2;          // the new user's password, shown as "*"
    QLabel *Label3;            // "权  限："
    QComboBox *ComboBox1;      // rights, pick only: "管理员", "普通用户"
    QCheckBox *CheckBox1;      // "继续添加用户": stay open after an add
    QPushButton *SpeedButton1; // "添加"
    QPushButton *SpeedButton2; // "关闭"

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from username"; only appends

    // Empties the name and password and shows the dialog modally; the rights
    // choice and the check box keep their last state.
    void Open();
    void SpeedButton1Click();
    void SpeedButton2Click();

private:
    QString nameRefusal(const QString &name);

    Query names_; // the users of a name, looked up before one is added

signals:
    // A user was added: lists that offer users read again.
    void usersChanged();
};

extern TYhtjForm *YhtjForm;
