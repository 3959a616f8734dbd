#pragma once

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace lunorvale {

// Owns one file descriptor and closes it on every path out. errno survives that close, so a
// caller can still report why the call before it failed.
class UniqueFd final {
public:
    explicit UniqueFd(int fd = -1) noexcept : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }

    // Closing can report a failed write-back; callers that care check this result.
    int close() noexcept {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }
    void reset() noexcept {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
        m_fd = -1;
    }

private:
    int m_fd;
};

} // namespace lunorvale
