#include "store/Clock.h"

namespace appclock {
namespace {
std::function<QDateTime()> &source()
{
    static std::function<QDateTime()> s;
    return s;
}
} // namespace

QDateTime now()
{
    return source() ? source()() : QDateTime::currentDateTime();
}

void setSource(std::function<QDateTime()> s)
{
    source() = std::move(s);
}

QString ticketNumber(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyyMMddHHmmss"));
}

QString ticketTime(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
} // namespace appclock
