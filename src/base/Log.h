#pragma once
// The program's log for a shop's support: one category per layer, written
// with its context to velmora.log beside data.mdb (see LogFile.h).
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcReport)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
Q_DECLARE_LOGGING_CATEGORY(lcTicket)
Q_DECLARE_LOGGING_CATEGORY(lcPrint)
Q_DECLARE_LOGGING_CATEGORY(lcAdmin)
Q_DECLARE_LOGGING_CATEGORY(lcHistory)
Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace logging {
using Category = const QLoggingCategory &(*)();
// Inside a catch block: writes the error being handled, with the step that
// met it, as a warning. For the places that go on after an error (a cell
// shown empty, a check asked again later): none of them passes in silence.
void caught(Category category, const char *step);
} // namespace logging
