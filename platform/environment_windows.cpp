// The environment on Windows: _putenv_s, which getenv in the program and in every driver library
// that shares the C runtime reads; an empty value removes the variable.
#include <cstdlib>

#include "platform/environment.h"

namespace platform {

void Set_environment_variable(const std::string& name, const std::string& value) {
    _putenv_s(name.c_str(), value.c_str());
}

void Unset_environment_variable(const std::string& name) {
    _putenv_s(name.c_str(), "");
}

const char* Windowless_qt_platform() {
    return "windows";
}

}  // namespace platform
