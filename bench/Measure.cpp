#include "Measure.h"

#include <QFile>

#include <algorithm>
#include <cstdio>

namespace bench {

namespace {
bool warmingUp = false;
}

void sample(const char *figure, double value)
{
    // The first run of a step reads the file from disk and fills caches: a
    // cashier's first click after a restart, not the one measured.
    if (warmingUp)
        return;
    std::printf("sample %s %.6f\n", figure, value);
    std::fflush(stdout);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The high-water mark of this program's own memory. Not getrusage: its
// ru_maxrss survives exec on Linux, so a child started by a large driver
// would report the driver's peak.
double peakRssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.simplified().split(' ').value(1).toDouble() / 1024.0;
    }
    return -1;
}

void repeat(const char *figure, int runs, const std::function<double()> &step)
{
    const bool outer = warmingUp;
    for (int i = 0; i <= runs; ++i) {
        warmingUp = outer || i == 0;
        const double value = step();
        warmingUp = outer || i == 0;
        sample(figure, value);
    }
    warmingUp = outer;
}

} // namespace bench
