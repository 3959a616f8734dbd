#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <variant>

namespace lunorvale {

// Runs one blocking job on a thread pool and hands what it reports back to the thread of a
// receiving object: each step it reports, in order, then its value or its error.
//
// Everything the work needs is captured by value; it never touches the receiver. Delivery goes through a
// QFutureWatcher owned by the receiver, so once the receiver is destroyed nothing is delivered and the
// work, still running, only finishes into nothing. Stopping the work early is the caller's affair (the
// work watches a cancellation token of its own).
template <typename T, typename Step = std::monostate> class BackgroundWork final {
public:
    using Report = std::function<void(Step)>;
    using Work = std::function<T(const Report& report)>;
    using OnStep = std::function<void(Step)>;
    // Exactly one of the two is set.
    using Done = std::function<void(std::optional<T> value, std::exception_ptr error)>;

    static void start(QObject* receiver, QThreadPool* pool, Work work, OnStep onStep, Done done) {
        auto* watcher = new QFutureWatcher<Message>(receiver);
        QObject::connect(watcher, &QFutureWatcherBase::resultsReadyAt, watcher,
                         [watcher, onStep = std::move(onStep), done = std::move(done)](int begin, int end) {
                             for (int index = begin; index < end; ++index) {
                                 Message message = watcher->resultAt(index);
                                 if (message.step) {
                                     if (onStep)
                                         onStep(std::move(*message.step));
                                     continue;
                                 }
                                 watcher->deleteLater();
                                 done(std::move(message.value), message.error);
                                 return;
                             }
                         });
        watcher->setFuture(QtConcurrent::run(pool, [work = std::move(work)](QPromise<Message>& promise) {
            const Report report = [&promise](Step step) {
                promise.addResult(Message{std::move(step), {}, {}});
            };
            try {
                promise.addResult(Message{std::nullopt, work(report), nullptr});
            } catch (...) {
                promise.addResult(Message{std::nullopt, std::nullopt, std::current_exception()});
            }
        }));
    }

private:
    struct Message {
        std::optional<Step> step;
        std::optional<T> value;
        std::exception_ptr error;
    };
};

} // namespace lunorvale
