// Linked into every test program: the environment the tests expect (the simulated scope's
// location, the tests' reference files, the offscreen Qt platform) when they are not run through
// CTest, and the sanitizer settings, which the runtimes read before main.
#include <cstdlib>

#include "platform/environment.h"

extern "C" const char* __lsan_default_suppressions() {
    // Leaks inside system libraries that the test programs load, named one by one.
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}

extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

namespace {

// Leaves a variable the caller has set as it is.
void Set_default(const char* name, const char* value) {
    if (std::getenv(name) == nullptr)
        platform::Set_environment_variable(name, value);
}

const bool environment_set = [] {
    Set_default("QT_QPA_PLATFORM", "offscreen");
    Set_default("HP_SIM_LIBRARY", HP_SIM_LIBRARY_PATH);
    Set_default("HP_SIM_DIR", HP_SIM_DIR_PATH);
    Set_default("HP_BUILD_DIR", HP_BUILD_DIR_PATH);
    Set_default("HP_TESTS_DIR", HP_TESTS_DIR_PATH);
    Set_default("HP_SOURCE_DIR", HP_SOURCE_DIR_PATH);
    Set_default("HP54200A_VERSION", HP54200A_VERSION_TEXT);
    return true;
}();

}  // namespace
