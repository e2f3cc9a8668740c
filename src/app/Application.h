#pragma once
// The application object: number text in the C locale whatever the desktop's,
// and a backstop that shows any error a handler let through.
#include <QApplication>

namespace app {
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
// Runs the program: windows, login gate, message loop. Returns the exit code.
int run();
} // namespace app
