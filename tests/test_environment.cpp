// Linked into every test program: the environment the tests expect (the simulated scope's
// location, the tests' reference files, the offscreen Qt platform) when they are not run through
// CTest, and the sanitizer settings, which the runtimes read before main.
#include <cstdlib>

extern "C" const char* __lsan_default_suppressions() {
    // Leaks inside system libraries that the test programs load, named one by one.
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}

extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

namespace {

const bool environment_set = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("HP_SIM_LIBRARY", HP_SIM_LIBRARY_PATH, 0);
    setenv("HP_SIM_DIR", HP_SIM_DIR_PATH, 0);
    setenv("HP_BUILD_DIR", HP_BUILD_DIR_PATH, 0);
    setenv("HP_TESTS_DIR", HP_TESTS_DIR_PATH, 0);
    setenv("HP_SOURCE_DIR", HP_SOURCE_DIR_PATH, 0);
    setenv("HP54200A_VERSION", HP54200A_VERSION_TEXT, 0);
    return true;
}();

}  // namespace
