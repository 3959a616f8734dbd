#pragma once

namespace lunorvale {

// The state of the API key of one service address, as the interface shows it.
enum class AIKeyStatus {
    missing,               // no key is saved for the address
    saved,                 // an item exists; its secret has not been read in this run
    available,             // read (or saved) in this run and held in memory
    authorizationRequired, // released only after the user authorises it (or the user cancelled)
    unavailable,           // invalid address, unexpected secret-store status, or an unusable item
    noKeyring,             // nothing provides a secret store: no key can be read or saved until one is added
};

} // namespace lunorvale
