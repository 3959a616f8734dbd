#pragma once

#include "core/common/Executor.h"

#include <QObject>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>

namespace lunorvale {

// Where background work delivers: queued calls to the thread of a receiving object, for as long as the
// receiver lets it. The receiver closes it before it goes; nothing is delivered after that, and what
// was queued before goes with the receiver.
class Delivery final {
public:
    explicit Delivery(QObject* receiver) : m_receiver(receiver) {}

    void post(std::function<void()> call) {
        const std::lock_guard lock(m_mutex);
        if (m_receiver)
            QMetaObject::invokeMethod(m_receiver, std::move(call), Qt::QueuedConnection);
    }
    void close() {
        const std::lock_guard lock(m_mutex);
        m_receiver = nullptr;
    }

private:
    std::mutex m_mutex;
    QObject* m_receiver;
};

// Runs one blocking job on an executor and hands what it reports back through a delivery: each step it
// reports, in order, then its value or its error.
//
// Everything the work needs is captured by value; it never touches the receiver, so it may finish after
// the receiver has gone, into nothing. Stopping the work early is the caller's affair (the work watches a
// cancellation token of its own).
template <typename T, typename Step = std::monostate> class BackgroundWork final {
public:
    using Report = std::function<void(Step)>;
    using Work = std::function<T(const Report& report)>;
    using OnStep = std::function<void(Step)>;
    // Exactly one of the two is set.
    using Done = std::function<void(std::optional<T> value, std::exception_ptr error)>;

    static void start(const std::shared_ptr<Delivery>& delivery, Executor& executor, Work work, OnStep onStep,
                      Done done) {
        executor.run([delivery, work = std::move(work), onStep = std::move(onStep), done = std::move(done)] {
            const Report report = [&delivery, &onStep](Step step) {
                delivery->post([onStep, step = std::move(step)]() mutable {
                    if (onStep)
                        onStep(std::move(step));
                });
            };
            std::optional<T> value;
            std::exception_ptr error;
            try {
                value = work(report);
            } catch (...) {
                error = std::current_exception();
            }
            delivery->post(
                [done, value = std::move(value), error]() mutable { done(std::move(value), error); });
        });
    }
};

} // namespace lunorvale
