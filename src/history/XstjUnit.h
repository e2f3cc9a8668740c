#pragma once
// 销售统计: the archived tickets.
#include <QAction>
#include <QMenu>
#include <QPushButton>

#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

class TXstjForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXstjForm(QWidget *parent = nullptr);
    ~TXstjForm() override;

    QPushButton *SpeedButton4; // 删除
    QMenu *PopupMenu1;         // the list's context menu
    QAction *N6;               // 删除 of the context menu

    Connection ADOConnection1;
    Query ADOQuery1; // "select * from xstj"
};

extern TXstjForm *XstjForm;
