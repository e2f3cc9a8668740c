#pragma once
// The one clock of the program; tests replace it to fix ticket numbers and times.
#include <QDateTime>
#include <functional>

namespace appclock {
QDateTime now();
void setSource(std::function<QDateTime()> source); // empty: the system clock
// "yyyymmddhhmmss"
QString ticketNumber(const QDateTime &t);
// "yyyy-mm-dd hh:mm:ss"
QString ticketTime(const QDateTime &t);
} // namespace appclock
