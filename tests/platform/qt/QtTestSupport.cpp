#include "QtTestSupport.h"

namespace halvern::qttest {

void EnsureApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    // Kept for the whole run: tearing Qt down among static destructors buys nothing.
    static auto* app = new QCoreApplication(argc, argv);
    (void)app;
}

}  // namespace halvern::qttest
