#include "app/Backups.h"

#include "base/AppError.h"
#include "base/Log.h"
#include "print/Checkout.h"
#include "store/Backup.h"
#include "store/Clock.h"
#include "store/TillSettings.h"
#include "ticket/MainUnit.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTimer>
#include <memory>

namespace app {

namespace {

struct Backups {
    std::unique_ptr<backup::Runner> runner;
    int salesSince = 0;
    bool restored = false; // data.mdb is no longer the file the windows opened
    bool automatic = true;
    std::function<void()> restart;
};

Backups &state()
{
    static Backups b;
    return b;
}

// Told once, without getting in the way of a sale: a receipt being printed
// finishes first.
void tellFailure(const QString &message)
{
    if (print::checkoutRunning()) {
        QTimer::singleShot(500, qApp, [message] { tellFailure(message); });
        return;
    }
    QWidget *owner = QApplication::activeModalWidget();
    if (!owner && MainForm && MainForm->isVisible())
        owner = MainForm;
    msg::show(owner, message + QStringLiteral("\n销售不受影响，下次备份时会再试。"), msg::Icon::Warning);
}

void restartDefault()
{
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments, QDir::currentPath()))
        throw AppError(QStringLiteral("数据已经恢复，但程序没能重新启动，请关闭程序后再启动它"));
    QCoreApplication::quit();
}

} // namespace

void startBackups(const QString &databaseFile)
{
    Backups &b = state();
    if (!b.automatic || store::serverConfigured())
        return;
    b.runner = std::make_unique<backup::Runner>(databaseFile, store::kTillSettingsFile);
    QObject::connect(b.runner.get(), &backup::Runner::failed, qApp, [](const QString &message) {
        tellFailure(message);
    });
    b.salesSince = 0;
    b.restored = false;
    b.runner->start();
}

void saleArchived()
{
    Backups &b = state();
    if (!b.runner || b.restored)
        return;
    if (++b.salesSince < backup::kEveryCheckouts)
        return;
    b.salesSince = 0;
    b.restored = false;
    b.runner->start();
}

void backupAtClose(const std::function<void()> &whenStopped)
{
    Backups &b = state();
    if (b.runner)
        b.runner->stop();
    if (whenStopped)
        whenStopped();
    if (!b.runner || b.restored)
        return;
    b.runner->takeNow();
}

void stopBackups()
{
    state().runner.reset();
}

void restoreBackup(const QString &backupFile, const QString &databaseFile)
{
    Backups &b = state();
    // A backup running now reads the file about to be replaced.
    if (b.runner)
        b.runner->stop();
    QString aside;
    {
        // Copying and checking a large backup takes a while.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } cursor;
        aside = backup::restore(backupFile, databaseFile, appclock::now());
    }
    b.restored = true;
    msg::show(QApplication::activeModalWidget(),
              QStringLiteral("数据已经恢复，原来的数据另存为“%1”。程序现在重新启动。")
                  .arg(QDir::toNativeSeparators(aside)),
              msg::Icon::Information);
    if (b.restart)
        b.restart();
    else
        restartDefault();
}

void setAutomaticBackups(bool on)
{
    state().automatic = on;
}

void setRestart(std::function<void()> restart)
{
    state().restart = std::move(restart);
}

} // namespace app
