// The program's command line: --help and --version, answered before the Qt application object
// exists (so they work without a display); the choice of interface (--resource, --address) and
// the desktop entry's --choose-connection; and the refusal of anything that is neither the
// program's nor Qt's.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

enum class EarlyAction { Run, Help, Version };

struct CommandLine {
    EarlyAction action = EarlyAction::Run;
    std::optional<std::string> resource;  // --resource STRING
    std::optional<std::string> address;   // --address N, checked with the resource
    bool choose_connection = false;       // --choose-connection: ask when nothing is chosen
    std::vector<std::string> open_files;  // --open FILE...: a saved capture shown at start
    std::string refusal;                  // why the arguments cannot be used; empty when fine
    // The arguments for the Qt application object: the program's name and Qt's own options.
    std::vector<char*> qt_arguments;
};

// Reads the arguments. --help or --version, wherever they stand, win over everything else.
// An argument that is neither the program's nor one of the options that the Qt application
// object takes (QGuiApplication's and QApplication's, with their values) is refused here, before
// that object exists: without a display it would end the program before it could say so.
CommandLine Parse_command_line(int argc, char** argv);

// The value of --address: a primary address 0..30, digits only.
std::optional<int> Address_option(const std::string& text);

// Why --resource and --address cannot be used (the message to show), or "" when they can or
// are not given.
std::string Connection_options_refusal(const std::optional<std::string>& resource,
                                       const std::optional<std::string>& address);

// The usage, naming the folders where the program in program_dir finds its driver libraries
// (without one, where they are installed).
std::string Usage_text(const std::string& program_dir = {});
std::string Version_text();

}  // namespace app
