// GLib's headers use `signals` as a field name, which Qt defines as a macro: it is set aside while they
// are read, as Qt's headers may already be in.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include "support/AbsentSecretService.h"

namespace lunorvale::test {

// libsecret keeps the connection it made first: dropping it makes the next call connect to the name
// that is set now.
AbsentSecretService::AbsentSecretService() {
    secret_service_disconnect();
}

AbsentSecretService::~AbsentSecretService() {
    secret_service_disconnect();
}

} // namespace lunorvale::test
