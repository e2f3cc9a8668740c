#include "ui/PasswordGate.h"

#include "ui/ErrorDisplay.h"

#include <QWidget>

#include <cmath>

namespace ui {

namespace {
double delayScale = 1.0;
constexpr int kFreeTries = 3;
constexpr std::chrono::milliseconds kLongestWait{60000};
} // namespace

std::chrono::milliseconds wrongPasswordDelay(int failures)
{
    if (failures <= kFreeTries)
        return std::chrono::milliseconds{0};
    // 1 s after the fourth wrong password, doubling with each further one;
    // the exponent is held before it could overflow.
    const int doublings = std::min(failures - kFreeTries - 1, 16);
    return std::min(std::chrono::milliseconds{1000LL << doublings}, kLongestWait);
}

void setPasswordDelayScale(double scale)
{
    delayScale = scale;
}

PasswordGate::PasswordGate(QObject *parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        std::function<void()> answer = std::move(answer_);
        answer_ = nullptr;
        release();
        if (answer)
            guarded(answer);
    });
}

void PasswordGate::wrong(std::initializer_list<QWidget *> controls, std::function<void()> answer)
{
    ++failures_;
    const auto wait = std::chrono::milliseconds(
        std::llround(static_cast<double>(wrongPasswordDelay(failures_).count()) * delayScale));
    if (wait.count() <= 0) {
        answer();
        return;
    }
    cancel();
    for (QWidget *w : controls) {
        if (w && w->isEnabled()) {
            w->setEnabled(false);
            disabled_.emplace_back(w);
        }
    }
    answer_ = std::move(answer);
    timer_.start(wait);
}

void PasswordGate::cancel()
{
    timer_.stop();
    answer_ = nullptr;
    release();
}

// Only what the gate disabled is enabled again: a control the rights keep
// disabled stays so.
void PasswordGate::release()
{
    for (const QPointer<QWidget> &w : disabled_) {
        if (w)
            w->setEnabled(true);
    }
    disabled_.clear();
}

} // namespace ui
