#pragma once

#include <QString>

namespace lunorvale::NumberText {

// `value` with `digits` decimals exactly as C's printf("%.*f") writes it in the C locale: the decimal
// nearest the binary value, an exact tie to the even digit (0.25 gives "0.2", 0.35 — just below 0.35 in
// binary — gives "0.3"), no grouping, "nan" and "inf" as printf spells them. Never reads the locale.
QString fixed(double value, int digits);

} // namespace lunorvale::NumberText
