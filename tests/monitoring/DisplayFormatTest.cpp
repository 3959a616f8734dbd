#include "core/monitoring/DisplayFormat.h"
#include "core/monitoring/MonitorSettings.h"

#include <gtest/gtest.h>

using namespace lunorvale;

TEST(DisplayFormat, Placeholder) { EXPECT_EQ(DisplayFormat::cpu(12.34), QStringLiteral("12.3%")); }
