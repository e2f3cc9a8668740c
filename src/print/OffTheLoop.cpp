#include "print/OffTheLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <exception>
#include <thread>

namespace print {

void offTheLoop(const std::function<void(const std::atomic<bool> &abandon)> &work)
{
    std::atomic<bool> abandon{false};
    std::atomic<bool> done{false};
    std::exception_ptr error;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            work(abandon);
        } catch (...) {
            // Handed to the calling thread, which throws it on.
            error = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    if (QCoreApplication::instance() && !done)
        loop.exec();
    // The loop ends early only when the program quits.
    abandon = true;
    worker.join();
    if (error)
        std::rethrow_exception(error);
}

} // namespace print
