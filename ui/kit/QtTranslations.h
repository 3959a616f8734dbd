#pragma once

namespace lunorvale {

// Qt's own texts in Chinese: standard buttons, file dialogs, the context menus of text fields. Qt draws
// them in English unless its translations (Debian's qt6-translations-l10n) are loaded.
struct QtTranslations final {
    // Loads Qt's Simplified Chinese catalogue into the application (call it once, after the application
    // object is made); false when it is not installed, and Qt's texts then stay English.
    static bool install();
};

} // namespace lunorvale
