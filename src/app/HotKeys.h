#pragma once
// F5 (checkout) and F1 (help) act in every window of the program, also while
// a modal window or a message box is open: an event filter on the application
// sees every key press first and hands these two to the main window.
#include <QObject>

namespace app {
class HotKeys : public QObject {
    Q_OBJECT
public:
    explicit HotKeys(QObject *parent = nullptr);
    ~HotKeys() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
} // namespace app
