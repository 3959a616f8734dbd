#pragma once

#include <QString>
#include <exception>
#include <stop_token>

namespace lunorvale {

// Thrown by blocking work (scans, size walks, checked reads, removal checks) when the caller asked it
// to stop. It is not a failure to show: whoever cancelled already knows, and a result that arrives
// after cancellation is dropped by its request token anyway.
class CancellationError final : public std::exception {
public:
    QString errorDescription() const { return QStringLiteral("操作已取消。"); }
    const char* what() const noexcept override { return "operation cancelled"; }
};

// The read side of cancellation, handed to blocking work that runs off the main thread.
//
// Work calls check() at its natural steps (before each folder, entry, chunk or file); once the owning
// CancellationSource is cancelled, the next check throws CancellationError. The token is a cheap value
// that may be copied into any thread; a default-constructed token is never cancelled, so synchronous
// callers (the command line, tests) simply pass nothing.
//
// It wraps std::stop_token so that work started with std::jthread or a QtConcurrent task that carries
// a std::stop_source can hand its own stop token in directly.
class CancellationToken final {
public:
    CancellationToken() = default;
    explicit CancellationToken(std::stop_token token) : m_token(std::move(token)) {}

    bool isCancelled() const noexcept { return m_token.stop_requested(); }
    void check() const {
        if (isCancelled())
            throw CancellationError();
    }
    const std::stop_token& stopToken() const noexcept { return m_token; }

private:
    std::stop_token m_token;
};

// The owning side: the model that starts a piece of blocking work keeps the source, gives the work a
// token, and cancels when the user leaves the page, starts over or quits. A source cancels once; start
// a new source for the next piece of work.
class CancellationSource final {
public:
    CancellationToken token() const { return CancellationToken(m_source.get_token()); }
    void cancel() noexcept { m_source.request_stop(); }
    bool isCancelled() const noexcept { return m_source.stop_requested(); }

private:
    std::stop_source m_source;
};

} // namespace lunorvale
