#pragma once
// 修改用户信息: a user's password and rights, given the old password.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/Form.h"
#include "ui/PasswordGate.h"

class Query;

class TYhxgForm : public ui::Form {
    Q_OBJECT
public:
    explicit TYhxgForm(QWidget *parent = nullptr);
    ~TYhxgForm() override;

    QLabel *Label1;            // "用户名："
    QLineEdit *Edit1;          // the user's name, read-only
    QLabel *Label2;            // "旧密码："
    QLineEdit *Edit2;          // the current password, to be confirmed
    QLabel *Label3;            // "新密码："
    QLineEdit *Edit3;          // the new password
    QLabel *Label4;            // "权  限："
    QComboBox *ComboBox1;      // rights, pick only: "管理员", "普通用户"
    QPushButton *SpeedButton1; // "修改"
    QPushButton *SpeedButton2; // "关闭"

    // Fills the dialog from the users list's current row and shows it
    // modally; saving changes that row. A user the logged-in user may not
    // change is refused with a message owned by `owner` instead.
    void Open(Query &users, QWidget *owner = nullptr);
    // Whether the logged-in user may change this user's row: an
    // administrator anyone's, anyone else only his own.
    static bool mayChange(const QString &userName);

    ui::PasswordGate Gate; // slows down the answers to wrong old passwords
    void FormShow();
    void SpeedButton1Click();
    void SpeedButton2Click();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    Query *users_ = nullptr; // the list whose current row is being changed
};

extern TYhxgForm *YhxgForm;
