#include "base/Log.h"

#include "base/AppError.h"

#include <exception>

// Warnings and above are written by default; QT_LOGGING_RULES or
// qtlogging.ini turn on the rest ("velmora.*.debug=true").
Q_LOGGING_CATEGORY(lcStore, "velmora.store", QtWarningMsg)
Q_LOGGING_CATEGORY(lcReport, "velmora.report", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "velmora.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTicket, "velmora.ticket", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPrint, "velmora.print", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAdmin, "velmora.admin", QtWarningMsg)
Q_LOGGING_CATEGORY(lcHistory, "velmora.history", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "velmora.app", QtWarningMsg)

namespace logging {

void caught(Category category, const char *step)
{
    QString why;
    try {
        throw;
    } catch (const AppError &e) {
        why = e.message();
    } catch (const std::exception &e) {
        why = QString::fromLocal8Bit(e.what());
    } catch (...) {
        why = QStringLiteral("an error of unknown type");
    }
    qCWarning(category, "%s: %s", step, qPrintable(why));
}

} // namespace logging
