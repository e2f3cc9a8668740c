#pragma once
// 日结: one day's sales per cashier and in all, opened from 销售统计; 打印
// asks for the figures shown to be printed on the receipt printer.
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "store/Connection.h"
#include "store/DayEnd.h"
#include "ui/Form.h"

class TRjForm : public ui::Form {
    Q_OBJECT
public:
    explicit TRjForm(QWidget *parent = nullptr);
    ~TRjForm() override;

    QLabel *Label1;                  // "日期："
    QDateEdit *DateTimePicker1;      // the day, today when the window opens
    QPushButton *SpeedButton1;       // 打印
    QPushButton *SpeedButton2;       // 退出
    QTableWidget *StringGrid1;       // a row per cashier, then 合计
    QLabel *Label2;                  // how many tickets the day has, or that it has none

    Connection ADOConnection1;

    // The figures shown, as 打印 prints them.
    const dayend::Day &shown() const { return shown_; }

    // Opens the window on the clock's day.
    void openOnToday();
    void DateTimePicker1Change(); // the day's figures read and shown
    void SpeedButton1Click();     // 打印
    void SpeedButton2Click();     // 退出

signals:
    void printRequested(const dayend::Day &day);

private:
    void buildControls();
    void showDay(const dayend::Day &day);
    dayend::Day shown_;
};

extern TRjForm *RjForm;
