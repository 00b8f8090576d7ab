#include "support/UiTest.h"

namespace {
[[maybe_unused]] auto* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new halvern::test::AppEnvironment);
}
