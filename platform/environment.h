// The process's environment variables, set and removed (the driver libraries read their
// settings from them).
#pragma once

#include <string>

namespace platform {

void Set_environment_variable(const std::string& name, const std::string& value);
void Unset_environment_variable(const std::string& name);

// The Qt platform plugin for work without a window (the capture command): "offscreen" on POSIX
// systems, where it measures text with the system's fonts as the screen does; on Windows the
// windows plugin, the one that measures Arial and Times New Roman as Windows has them (a window
// that is never shown needs no more there).
const char* Windowless_qt_platform();

}  // namespace platform
