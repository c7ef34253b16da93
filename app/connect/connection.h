// Which interface the program reaches the scope through, and where that choice comes from: the
// command line, the environment variables, the choice saved by the Connection dialog, or the
// default (the linux-gpib board 0, address 5). Each source is turned into the environment
// settings that the driver binding reads, a source earlier in that order winning over a later
// one setting by setting.
#pragma once

#include <optional>
#include <string>

#include "app/connect/command_line.h"

namespace app {

// The settings file: QSettings(kSettingsOrganization, kSettingsApplication), on Linux
// ~/.config/hp54200a/hp54200a.conf. Only the Connection dialog's OK writes it.
inline constexpr const char* kSettingsOrganization = "hp54200a";
inline constexpr const char* kSettingsApplication = "hp54200a";

enum class ChoiceSource { Default, CommandLine, Environment, Saved };

struct ConnectionChoice {
    ChoiceSource source = ChoiceSource::Default;
    std::string resource;  // the resource in use, for the title; empty for the default
    std::string refusal;   // why the choice cannot be used; empty when it can
};

// The path of one of the driver libraries that come with the program, named as on Linux (the
// system's own file name is looked for): installed beside it (<prefix>/lib/hp54200a, found from
// the program's own folder, else the configured prefix), in the build tree the program was built
// in, or in the program's own folder (the Windows program's folder holds its DLLs).
std::string Driver_library(const std::string& linux_name, const std::string& program_dir);

std::optional<std::string> Saved_resource();
void Save_resource(const std::string& resource);

// True when a variable names the interface or the address (GPIB_LIBRARY, GPIB_BOARD,
// GPIB_ADDRESS, PROLOGIX_PORT, VXI11_HOST, VXI11_DEVICE).
bool Environment_names_interface();

// Applies the command line's --resource and --address over the environment, and the saved
// choice under it, then says which source decided and the resource in use.
ConnectionChoice Choose_connection(const CommandLine& command_line, const std::string& program_dir);

// Applies one resource string over the environment (the Connection dialog's choice for a start
// that had none). The refusal, or empty.
std::string Apply_resource(const std::string& text, const std::string& program_dir);

}  // namespace app
