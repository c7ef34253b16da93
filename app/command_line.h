// The program's command line: --help and --version, answered before the Qt application object
// exists (so they work without a display), and the refusal of anything Qt did not take.
#pragma once

#include <string>

namespace app {

enum class EarlyAction { Run, Help, Version };

// Looks for --help or --version among the arguments (the first one found wins).
EarlyAction Early_action(int argc, const char* const* argv);

std::string Usage_text();
std::string Version_text();

}  // namespace app
