#pragma once
// Wrong passwords are answered slowly, so that guessing one takes long: the
// first three in a row at once, then after 1, 2, 4 … seconds (a minute at
// most). While an answer waits, the window's input controls take no input,
// yet the program runs on (the clock ticks, other windows are served):
// nothing blocks the event loop.
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <vector>

class QWidget;

namespace ui {

// The wait before the answer to the n-th wrong password in a row (n from 1).
std::chrono::milliseconds wrongPasswordDelay(int failures);

// Every wait is multiplied by this (1: real seconds). Tests shrink it, so that
// they see the wait without waiting seconds.
void setPasswordDelayScale(double scale);

class PasswordGate : public QObject {
    Q_OBJECT
public:
    explicit PasswordGate(QObject *parent = nullptr);

    // A wrong password. After the wait for this failure, `answer` runs
    // (through the error display); meanwhile the controls are disabled and
    // they come back once it has run. Without a wait it runs at once.
    void wrong(std::initializer_list<QWidget *> controls, std::function<void()> answer);
    // A right password: the count starts again.
    void right() { failures_ = 0; }
    // A waiting answer is dropped and the controls come back (the window was
    // closed meanwhile); the failure still counts.
    void cancel();

    int failures() const { return failures_; }
    bool waiting() const { return timer_.isActive(); }

private:
    void release();

    int failures_ = 0;
    QTimer timer_;
    std::vector<QPointer<QWidget>> disabled_;
    std::function<void()> answer_;
};

} // namespace ui
