#pragma once
// 销售汇总: the tickets of a range of days, of every cashier or of one, by day
// and by cashier, with each day's 折后 as a bar; opened from 销售统计.
#include <QChartView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "store/Connection.h"
#include "store/SalesRange.h"
#include "ui/Form.h"

class TXshzForm : public ui::Form {
    Q_OBJECT
public:
    explicit TXshzForm(QWidget *parent = nullptr);
    ~TXshzForm() override;

    QLabel *Label1;            // the days and the cashier summed, and how many tickets
    QTableWidget *StringGrid1; // a row per day, then 合计
    QTableWidget *StringGrid2; // a row per cashier, then 合计
    QChartView *ChartView1;    // each day's 折后 as a bar; a screen reader gets the figures
    QPushButton *SpeedButton1; // 退出

    Connection ADOConnection1;

    // The summary shown.
    const salesrange::Summary &shown() const { return shown_; }
    // What the chart tells a screen reader: "2024-03-01：49.68；2024-03-02：9".
    static QString spokenBars(const salesrange::Summary &summary);

    // Reads the summary of the filter from data.mdb as it is now and shows
    // the window modally.
    void openFor(const salesrange::Filter &filter);
    void SpeedButton1Click(); // 退出

private:
    void buildControls();
    void showSummary(const salesrange::Summary &summary);
    void drawChart(const salesrange::Summary &summary);
    salesrange::Summary shown_;
};

extern TXshzForm *XshzForm;
