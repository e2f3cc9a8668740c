#include "app/Application.h"

#include "app/Forms.h"
#include "app/HotKeys.h"
#include "app/LoginUnit.h"
#include "store/AppError.h"
#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"
#include "ui/MessageBox.h"

#include <clocale>

namespace app {

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    // Qt takes the system locale on Unix; number text must not follow it.
    std::setlocale(LC_NUMERIC, "C");
    setApplicationName(QStringLiteral("Velmora"));
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ui::showException(std::current_exception());
        return false;
    }
}

int run()
{
    try {
        createForms();
    } catch (const AppError &e) {
        // Without its database the program cannot start.
        msg::show(nullptr, ui::withFullStop(e.message()), msg::Icon::Error, msg::Buttons::Ok,
                  ui::applicationTitle());
        return 1;
    }
    HotKeys hotKeys;
    MainForm->show();
    int code = 0;
    if (TLoginForm::RunLogin())
        code = QApplication::exec();
    destroyForms();
    return code;
}

} // namespace app
