#pragma once

#include <QCollator>

namespace lunorvale {

// The one order of names wherever the program lists things by name (process groups, installed
// applications): as a file browser orders file names, numbers by value and letter case ignored, by the
// rules of the user's language (English rules where the locale is C). Every list that is ordered by
// name uses it, so that a list ordered in one place and shown in another keeps its first item first.
QCollator nameCollator();

} // namespace lunorvale
