#pragma once
// A layout drawn on a page of the preview window, at its design size in
// screen pixels, over the page's background.
#include "report/Report.h"

#include <QWidget>

class ReceiptView : public QWidget {
    Q_OBJECT
public:
    // The layout is drawn from `at`; the view keeps a reference to it, so it
    // always shows the layout as it stands now.
    ReceiptView(report::Layout &layout, QPoint at, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    report::Layout &layout_;
    QPoint at_;
};
