// The environment on POSIX systems: setenv and unsetenv.
#include <cstdlib>

#include "platform/environment.h"

namespace platform {

void Set_environment_variable(const std::string& name, const std::string& value) {
    setenv(name.c_str(), value.c_str(), 1);
}

void Unset_environment_variable(const std::string& name) {
    unsetenv(name.c_str());
}

const char* Windowless_qt_platform() {
    return "offscreen";
}

}  // namespace platform
