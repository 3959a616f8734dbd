#include "core/common/NameOrder.h"

#include <QLocale>

namespace lunorvale {

QCollator nameCollator() {
    // Qt's C locale compares code points without ICU, which would put "10" before "2".
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace lunorvale
