#pragma once

#include <QString>

namespace lunorvale::test {

// A Secret Service collection of its own in the private test session, created with a password so that
// no prompt is involved, and deleted afterwards; tests lock it to see a locked keyring.
class ScratchCollection final {
public:
    ScratchCollection();
    ~ScratchCollection();
    ScratchCollection(const ScratchCollection&) = delete;
    ScratchCollection& operator=(const ScratchCollection&) = delete;

    // Its D-Bus object path; empty when it could not be created.
    QString path() const { return m_path; }
    void lock() const;

private:
    QString m_path;
};

} // namespace lunorvale::test
