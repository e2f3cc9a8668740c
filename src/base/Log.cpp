#include "base/Log.h"

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
