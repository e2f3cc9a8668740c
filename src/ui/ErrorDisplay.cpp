#include "ui/ErrorDisplay.h"

#include "base/Log.h"
#include "base/AppError.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QFileInfo>
#include <QWidget>

namespace ui {

QString applicationTitle()
{
    const QString path = QCoreApplication::applicationFilePath();
    return path.isEmpty() ? QCoreApplication::applicationName() : QFileInfo(path).completeBaseName();
}

QString withFullStop(const QString &text)
{
    // A sentence that ends with the Chinese full stop has one already.
    if (!text.isEmpty() && text.back() > QLatin1Char('.') && text.back() != QChar(0x3002))
        return text + QLatin1Char('.');
    return text;
}

void showError(const QString &message)
{
    // Every error the cashier is shown is in the log for support, too.
    qCWarning(lcUi, "shown: %s", qPrintable(message));
    msg::show(QApplication::activeWindow(), withFullStop(message), msg::Icon::Error, msg::Buttons::Ok,
              applicationTitle());
}

void showException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const AppError &e) {
        showError(e.message());
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showError(QStringLiteral("未知错误"));
    }
}

} // namespace ui
