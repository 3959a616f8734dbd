// The fakes are header-only; compiled here once so that their meta-objects are built.
#include "support/FakeDesktop.h"
