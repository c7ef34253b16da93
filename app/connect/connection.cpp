// The connection choice at start: command line, environment, saved choice, default.
#include "app/connect/connection.h"

#include <QSettings>
#include <cstdlib>
#include <filesystem>

#include "platform/environment.h"
#include "scope/gpib_driver.h"
#include "scope/library_loader.h"
#include "scope/resource.h"
#include "scope/serial_port.h"

namespace app {
namespace {

constexpr const char* kResourceKey = "connection/resource";
constexpr const char* kInterfaceVariables[] = {"GPIB_LIBRARY",  "GPIB_BOARD", "GPIB_ADDRESS",
                                               "PROLOGIX_PORT", "VXI11_HOST", "VXI11_DEVICE"};

bool Is_set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// overwrite: the command line's settings replace the environment's; a saved choice's only fill
// what the environment leaves unset.
void Apply(const scope::Settings& settings, bool overwrite) {
    for (const auto& [name, value] : settings) {
        if (overwrite || !Is_set(name.c_str()))
            platform::Set_environment_variable(name, value);
    }
}

std::string Library_variable() {
    const char* value = std::getenv("GPIB_LIBRARY");
    return value != nullptr ? value : "";
}

// Applies a resource's settings and says, for the message when its library cannot be loaded,
// where that library comes from ("the library of --resource ...") and which GPIB_LIBRARY it
// replaced.
void Apply_named(const scope::Settings& settings, bool overwrite, const std::string& named_by) {
    const std::string before = Library_variable();
    Apply(settings, overwrite);
    const std::string after = Library_variable();
    if (!before.empty() && after == before)
        return;  // the user's own GPIB_LIBRARY stays in force
    scope::Set_library_origin("the library of " + named_by +
                              (before.empty() ? "" : ", which replaces GPIB_LIBRARY=" + before));
}

std::string Refusal_of_saved(const std::string& why) {
    return why + "\nThe connection was saved by the Connection dialog; choose another there.";
}

}  // namespace

std::string Driver_library(const std::string& linux_name, const std::string& program_dir) {
    namespace fs = std::filesystem;
    // The folder's name is UTF-8, as Qt gives it (on Windows a path is not the code page's).
    const fs::path dir(std::u8string(program_dir.begin(), program_dir.end()));
    const fs::path build_folder = linux_name == "libhp54200a_sim.so"    ? "sim"
                                  : linux_name == "libgpib_prologix.so" ? "adapters/prologix"
                                  : linux_name == "libgpib_visa.so"     ? "adapters/visa"
                                  : linux_name == "libgpib_usbtmc.so"   ? "adapters/usbtmc"
                                                                        : "adapters/vxi11";
    const std::string file_name = scope::Library_file_name(linux_name);
    for (const fs::path& candidate :
         {dir / ".." / "lib" / "hp54200a" / file_name, dir / ".." / build_folder / file_name,
          dir / build_folder / file_name, dir / file_name}) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) {
            const std::u8string found = fs::weakly_canonical(candidate, ec).u8string();
            return {found.begin(), found.end()};
        }
    }
    return scope::Installed_library_path(file_name, program_dir);
}

std::optional<std::string> Saved_resource() {
    const QSettings settings(kSettingsOrganization, kSettingsApplication);
    const QString value = settings.value(kResourceKey).toString();
    if (value.isEmpty())
        return std::nullopt;
    return value.toStdString();
}

void Save_resource(const std::string& resource) {
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.setValue(kResourceKey, QString::fromStdString(resource));
}

bool Environment_names_interface() {
    for (const char* name : kInterfaceVariables) {
        if (Is_set(name))
            return true;
    }
    return false;
}

std::string Apply_resource(const std::string& text, const std::string& program_dir) {
    const scope::ResourceReading r = scope::Parse_resource(text);
    if (!r.resource)
        return r.refusal;
    Apply_named(
        scope::Driver_settings(
            *r.resource, [&](const std::string& f) { return Driver_library(f, program_dir); }),
        true, "the Connection dialog's choice " + text);
    return {};
}

ConnectionChoice Choose_connection(const CommandLine& cl, const std::string& program_dir) {
    ConnectionChoice choice;
    const auto locate = [&](const std::string& f) { return Driver_library(f, program_dir); };
    std::optional<int> address;
    if (cl.address) {
        address = Address_option(*cl.address);
        if (!address) {
            choice.refusal = "--address \"" + *cl.address +
                             "\" is not a primary address: use a number from 0 to 30.";
            choice.source = ChoiceSource::CommandLine;
            return choice;
        }
    }
    if (cl.resource) {
        const scope::ResourceReading r = scope::Parse_resource(*cl.resource, address);
        if (!r.resource) {
            choice.refusal = r.refusal;
            choice.source = ChoiceSource::CommandLine;
            return choice;
        }
        Apply_named(scope::Driver_settings(*r.resource, locate), true,
                    "--resource " + *cl.resource);
        choice.source = ChoiceSource::CommandLine;
    } else if (address) {
        platform::Set_environment_variable("GPIB_ADDRESS", std::to_string(*address));
        choice.source = ChoiceSource::CommandLine;
    }
    if (choice.source == ChoiceSource::Default && Environment_names_interface())
        choice.source = ChoiceSource::Environment;
    if (!cl.resource) {
        if (const auto saved = Saved_resource()) {
            const scope::ResourceReading r = scope::Parse_resource(*saved);
            if (!r.resource) {
                choice.refusal = Refusal_of_saved(r.refusal);
                choice.source = ChoiceSource::Saved;
                return choice;
            }
            const bool port_gone = r.resource->kind == scope::InterfaceKind::UsbAdapter &&
                                   scope::Is_serial_port_name(r.resource->where) &&
                                   !Is_set("GPIB_LIBRARY") &&
                                   !scope::Serial_port_present(r.resource->where);
            if (port_gone) {
                choice.refusal = Refusal_of_saved("The serial port " + r.resource->where + " of " +
                                                  *saved + " is not there.");
                choice.source = ChoiceSource::Saved;
                return choice;
            }
            Apply_named(scope::Driver_settings(*r.resource, locate), false,
                        "the saved connection " + *saved);
            if (choice.source == ChoiceSource::Default)
                choice.source = ChoiceSource::Saved;
        }
    }
    if (choice.source != ChoiceSource::Default)
        choice.resource = scope::Resource_in_environment();
    return choice;
}

}  // namespace app
