#pragma once

#include "support/Files.h"

namespace lunorvale::test {

// While it lives, the program's Secret Service calls go to a bus name that nobody owns and no service
// file provides, so the bus answers them as on a desktop without any keyring ("… was not provided by any
// .service files"). The process keeps one connection to the session bus for its whole run, so the name is
// taken away rather than the bus replaced; the private session's keyring stays untouched.
class AbsentSecretService final {
public:
    AbsentSecretService();
    ~AbsentSecretService();
    AbsentSecretService(const AbsentSecretService&) = delete;
    AbsentSecretService& operator=(const AbsentSecretService&) = delete;

private:
    // libsecret reads it for the service's bus name whenever it connects anew.
    ScopedVariable m_name{"SECRET_SERVICE_BUS_NAME", QStringLiteral("dev.lunorvale.test.NoSecretService")};
};

} // namespace lunorvale::test
