// The program's command line: --help and --version, answered before the Qt application object
// exists (so they work without a display), and the refusal of anything Qt did not take.
#pragma once

#include <string>

namespace app {

enum class EarlyAction { Run, Help, Version };

// Looks for --help or --version among the arguments (the first one found wins).
EarlyAction Early_action(int argc, const char* const* argv);

// The first argument that is neither the program's nor one of the options the Qt application
// object takes (QGuiApplication and QApplication, with their values); nullptr when there is none.
// Checked before the application object exists, which without a display would end the program
// before it could say what was wrong.
const char* Unknown_argument(int argc, const char* const* argv);

std::string Usage_text();
std::string Version_text();

}  // namespace app
