// The process's environment variables, set and removed (the driver libraries read their
// settings from them).
#pragma once

#include <string>

namespace platform {

void Set_environment_variable(const std::string& name, const std::string& value);
void Unset_environment_variable(const std::string& name);

}  // namespace platform
