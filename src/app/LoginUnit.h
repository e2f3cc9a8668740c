#pragma once
// 登录软件: the modal gate before the program runs.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"
#include "ui/PasswordGate.h"

class TLoginForm : public ui::Form {
    Q_OBJECT
public:
    explicit TLoginForm(QWidget *parent = nullptr);
    ~TLoginForm() override;

    // Creates the login window, shows it modally, destroys it; true exactly
    // when the login succeeded.
    static bool RunLogin();

    QLabel *Label1;            // "用户名:"
    QComboBox *ComboBox1;      // user names, no typing
    QLabel *Label2;            // "密  码:"
    QLineEdit *Edit1;          // typed password
    QPushButton *SpeedButton1; // "确定"
    QPushButton *SpeedButton2; // "关闭"
    QLabel *Label3;            // hint on admin's empty password
    QLineEdit *Edit2;          // stored password of the user found (hidden)
    QLineEdit *Edit3;          // rights of the user found (hidden)

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from username"
    ui::PasswordGate Gate; // slows down the answers to wrong passwords

    void FormCreate();
    void SpeedButton1Click();
    void SpeedButton2Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

extern TLoginForm *LoginForm;

namespace app {
// Text of status bar panel 0 after a login.
QString makerPanelText();
} // namespace app
