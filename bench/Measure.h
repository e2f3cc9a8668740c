#pragma once
// What the measuring processes share: clocks, memory, and the lines they
// hand the driver ("sample <figure> <value>", one per timed run; the driver
// takes the median of all samples of a figure).
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <vector>

namespace bench {

inline double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// One timed run of a figure, for the driver.
void sample(const char *figure, double value);

double median(std::vector<double> values);

// Peak resident memory of this process so far (VmHWM), in MiB.
double peakRssMiB();

// Runs step warm-up + runs times and reports each timed run's milliseconds as
// samples of the figure; step returns its own milliseconds.
void repeat(const char *figure, int runs, const std::function<double()> &step);

// A child's work: figure names and what each measuring mode is given.
struct Job {
    qint64 tickets = 0;
    QString folder; // holds the data.mdb measured
    int runs = 5;
};

int measureProgram(const Job &job);
int measureExport(const Job &job);
int measureCatalogue(const Job &job, bool screenReader);
int measureFloors(const Job &job);
int measureExportFloor(const Job &job);
int measureCatalogueFloors(const Job &job);

} // namespace bench
