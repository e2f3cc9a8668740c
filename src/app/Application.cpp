#include "app/Application.h"

#include "app/Backups.h"
#include "app/Forms.h"
#include "base/Log.h"
#include "base/LogFile.h"
#include "app/HotKeys.h"
#include "app/LoginUnit.h"
#include "app/Wiring.h"
#include "print/Checkout.h"
#include "base/AppError.h"
#include "store/Archive.h"
#include "store/Connection.h"
#include "store/InstanceLock.h"
#include "store/Server.h"
#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <clocale>
#include <memory>

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

namespace {

// Before any window opens data.mdb: it must be a database of this program,
// no other copy of the program may be running on it, and it must take writes
// (a till that cannot record a sale is told so now, not at the first 添加).
void openDatabase(store::InstanceLock &lock)
{
    Connection check(connstr::designShort());
    check.open();
    // Before the lock file is made: a refused start leaves nothing beside data.mdb.
    check.requireWritable();
    // Files of earlier versions get the tables the program keeps for itself.
    archive::ensureOwnTables(check);
    const QString file = check.filePath();
    switch (lock.acquire(file)) {
    case store::InstanceLock::Result::Acquired:
        break;
    case store::InstanceLock::Result::HeldElsewhere:
        throw AppError(QStringLiteral("本程序已经在使用数据库文件“%1”运行，同一个数据库不能同时运行两个本程序")
                           .arg(QDir::toNativeSeparators(file)));
    case store::InstanceLock::Result::Unavailable:
        throw AppError(QStringLiteral("无法锁定数据库文件“%1”：%2")
                           .arg(QDir::toNativeSeparators(file), lock.errorText()));
    }
    // Only once this copy is the file's only one.
    check.addMissingIndexes();
}

// A till of a shop's server (velmora.ini [server]): its connection holds
// its number against a second program, and every window works through it.
std::unique_ptr<store::ServerSession> openServer()
{
    const std::optional<store::ServerSettings> settings = store::readServerSettings();
    if (!settings)
        return nullptr;
    auto server = std::make_unique<store::ServerSession>(*settings);
    server->open();
    Connection::useServer(server.get());
    try {
        Connection check;
        check.open();
    } catch (...) {
        Connection::useServer(nullptr);
        throw;
    }
    qCInfo(lcApp, "till %d works on the server: %s", settings->till, qPrintable(settings->connection));
    return server;
}

} // namespace

int run()
{
    // The log lies beside data.mdb, in the folder the program works in.
    logfile::install(QDir::current().filePath(QStringLiteral("velmora.log")));
    store::InstanceLock lock;
    std::unique_ptr<store::ServerSession> server;
    try {
        server = openServer();
        if (!server)
            openDatabase(lock);
        createForms();
    } catch (const AppError &e) {
        // Without its database the program cannot start.
        qCCritical(lcApp, "the start was refused: %s", qPrintable(e.message()));
        msg::show(nullptr, ui::withFullStop(e.message()), msg::Icon::Error, msg::Buttons::Ok,
                  ui::applicationTitle());
        return 1;
    }
    HotKeys hotKeys;
    MainForm->show();
    int code = 0;
    if (TLoginForm::RunLogin()) {
        // A sale whose receipt was printing when the program last ended is
        // settled before the next one begins.
        ui::guarded([] { print::resolveMarkedSales(tillOf(*MainForm)); });
        // A backup of the file as the day begins, beside the cashier.
        startBackups(MainForm->ADOConnection1.filePath());
        code = QApplication::exec();
    }
    destroyForms();
    // The closing backup only reads data.mdb: the program may be started
    // again meanwhile. The file's lock goes once nothing of this program
    // reads it (closing the lock's descriptor drops the engine's locks too).
    backupAtClose([&lock] { lock.release(); });
    stopBackups();
    return code;
}

} // namespace app
