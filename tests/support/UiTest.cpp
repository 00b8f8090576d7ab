#include "support/UiTest.h"

namespace halvern::test {

// Registered once for every test program that links the support (Qt's statics go last).
[[maybe_unused]] auto* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace halvern::test
