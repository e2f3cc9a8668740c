#pragma once
// 权限说明: what an ordinary user may not do.
#include <QLabel>
#include <QPushButton>

#include "ui/Form.h"

class TQxsmForm : public ui::Form {
    Q_OBJECT
public:
    explicit TQxsmForm(QWidget *parent = nullptr);
    ~TQxsmForm() override;

    QLabel *Label1;            // heading
    QLabel *Label2;            // rule 1: users
    QLabel *Label3;            // rule 2: print content
    QLabel *Label4;            // rule 3: ticket number
    QLabel *Label5;            // rule 4: sales
    QPushButton *SpeedButton1; // "确定"

    void SpeedButton1Click();
};

extern TQxsmForm *QxsmForm;
