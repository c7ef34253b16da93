// The usage and version texts. The version is the project's, set once in CMake.
#include "app/connect/command_line.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "app/connect/connection.h"
#include "platform/user_folders.h"
#include "scope/library_loader.h"
#include "scope/resource.h"
#include "scope/serial_port.h"

namespace app {

namespace {

// Qt's own options, as QGuiApplication and QApplication document them (X11's among them). Qt
// also accepts each with two dashes, and "-name=value" where it takes a value.
constexpr std::string_view kQtValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "qmljsdebugger"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <std::size_t N>
bool Listed(const std::string_view (&names)[N], std::string_view name) {
    for (std::string_view n : names) {
        if (n == name)
            return true;
    }
    return false;
}

std::string Unknown(const char* argument) {
    return std::string("unknown argument \"") + argument + "\"";
}

}  // namespace

std::optional<int> Address_option(const std::string& text) {
    if (text.empty() || text.size() > 2 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(text);
    return value <= 30 ? std::optional<int>(value) : std::nullopt;
}

CommandLine Parse_command_line(int argc, char** argv) {
    CommandLine cl;
    cl.qt_arguments.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            cl.action = EarlyAction::Help;
            return cl;
        }
        if (arg == "--version") {
            cl.action = EarlyAction::Version;
            return cl;
        }
    }
    for (int i = 1; i < argc && cl.refusal.empty(); ++i) {
        std::string_view arg = argv[i];
        if (arg == "--resource" || arg == "--address") {
            if (i + 1 >= argc) {
                cl.refusal = std::string(arg) + " needs a value";
                break;
            }
            (arg == "--resource" ? cl.resource : cl.address) = argv[++i];
            continue;
        }
        if (arg == "--choose-connection") {
            cl.choose_connection = true;
            continue;
        }
        if (arg == "--open") {
            // The files up to the next option.
            while (i + 1 < argc && argv[i + 1][0] != '-') cl.open_files.emplace_back(argv[++i]);
            if (cl.open_files.empty())
                cl.refusal = "--open needs a file";
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            cl.refusal = Unknown(argv[i]);
            break;
        }
        arg.remove_prefix(arg.rfind("--", 0) == 0 ? 2 : 1);
        const auto equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        cl.qt_arguments.push_back(argv[i]);
        if (Listed(kQtFlags, name))
            continue;
        if (!Listed(kQtValueOptions, name)) {
            cl.refusal = Unknown(argv[i]);
        } else if (equals == std::string_view::npos) {
            if (i + 1 >= argc)
                cl.refusal = Unknown(argv[i]);  // its value is missing
            else
                cl.qt_arguments.push_back(argv[++i]);
        }
    }
    cl.qt_arguments.push_back(nullptr);
    // The connection options are checked here too, so that a mistyped one is told without a
    // display.
    if (cl.refusal.empty())
        cl.refusal = Connection_options_refusal(cl.resource, cl.address);
    return cl;
}

std::string Connection_options_refusal(const std::optional<std::string>& resource,
                                       const std::optional<std::string>& address) {
    std::optional<int> pad;
    if (address) {
        pad = Address_option(*address);
        if (!pad)
            return "--address \"" + *address +
                   "\" is not a primary address: use a number from 0 to 30.";
    }
    return resource ? scope::Parse_resource(*resource, pad).refusal : std::string();
}

namespace {

void Replace(std::string& text, const std::string& mark, const std::string& with) {
    text.replace(text.find(mark), mark.size(), with);
}

// The text with spaces up to the column, and at least one.
std::string Padded(std::string text, std::size_t column) {
    text.resize(std::max(text.size() + 1, column), ' ');
    return text;
}

// The words of a paragraph in lines of at most 82 columns, the lines after the first indented.
std::string Wrapped(const std::string& paragraph, std::size_t indent) {
    constexpr std::size_t kWidth = 82;
    std::string out;
    std::string line;
    std::size_t start = 0;
    while (start < paragraph.size()) {
        // Leading spaces (the first line's own indent, or a column gap) stay with the word.
        std::size_t end = paragraph.find_first_not_of(' ', start);
        end = end == std::string::npos ? paragraph.size() : paragraph.find(' ', end);
        if (end == std::string::npos)
            end = paragraph.size();
        std::string word = paragraph.substr(start, end - start);
        if (!line.empty() && line.size() + word.size() > kWidth) {
            out += line + "\n";
            line = std::string(indent, ' ');
            word.erase(0, word.find_first_not_of(' '));
        }
        line += word;
        start = end;
    }
    return out + line + "\n";
}

// Where this program finds the driver libraries that come with it: the installation's folder, or
// in a build folder the folders they are built in. Without the program's folder, or where the
// system names no folder (the program's own on Windows), the system's text.
std::string Driver_folders(const scope::BoardDriverTexts& driver, const std::string& program_dir) {
    if (program_dir.empty() || driver.installed_drivers[0] != '/')
        return driver.installed_drivers;
    std::vector<std::string> names{"libhp54200a_sim.so", "libgpib_prologix.so"};
    if (driver.gateway_driver)
        names.push_back("libgpib_vxi11.so");
    std::vector<std::string> folders;
    for (const std::string& name : names) {
        const std::string folder =
            std::filesystem::path(Driver_library(name, program_dir)).parent_path().string();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    std::string text;
    for (std::size_t i = 0; i < folders.size(); ++i)
        text += (i == 0 ? "" : i + 1 == folders.size() ? " and " : ", ") + folders[i];
    return text;
}

// The GPIB_LIBRARY paragraph: the default, and the driver libraries that come with the program.
std::string Driver_libraries_help(const scope::BoardDriverTexts& driver,
                                  const std::string& program_dir) {
    std::string text = Wrapped(
        std::string("  GPIB_LIBRARY  the GPIB driver library to load (default ") +
            driver.default_libraries + "). Driver libraries that come with the program, in " +
            Driver_folders(driver, program_dir) + ":",
        16);
    const auto entry = [](const std::string& linux_name, const std::string& what) {
        return Wrapped(
            Padded("                  " + scope::Library_file_name(linux_name), 38) + " " + what,
            39);
    };
    text += entry("libhp54200a_sim.so", "a simulated HP 54200A (no hardware)");
    text +=
        entry("libgpib_prologix.so",
              std::string("Prologix GPIB-USB/-ETHERNET and AR488 \"++\" adapters: "
                          "PROLOGIX_PORT=") +
                  scope::Serial_port_example() + " or host[:1234], PROLOGIX_BAUD (default 115200)");
    if (driver.gateway_driver)
        text += entry("libgpib_vxi11.so",
                      "LAN-GPIB gateways speaking VXI-11: VXI11_HOST=host[:port], VXI11_DEVICE "
                      "(default gpib<board>,<address>)");
#if defined(_WIN32)
    const char* visa_default = "visa64.dll";
#else
    const char* visa_default = "libvisa.so.0, then librsvisa.so";
#endif
    text += entry("libgpib_visa.so",
                  std::string("the system's VISA (NI-VISA, Keysight IO Libraries, R&S VISA): "
                              "VISA_RESOURCE=<VISA resource> (default GPIB<board>::<address>::"
                              "INSTR), VISA_LIBRARY (default ") +
                      visa_default + ")");
#if !defined(_WIN32)
    text += entry("libgpib_usbtmc.so",
                  "USBTMC adapters through the kernel's usbtmc driver: USBTMC_DEVICE=/dev/usbtmc0 "
                  "or USB0::vid::pid::serial::INSTR");
#endif
    return text;
}

}  // namespace

std::string Usage_text(const std::string& program_dir) {
    std::string text =
        "Usage: hp54200a [--help | --version]\n"
        "       hp54200a [--resource STRING] [--address N] [--choose-connection]\n"
        "                [--open FILE...]\n"
        "                [Qt options, e.g. -platform offscreen]\n"
        "       hp54200a capture [options]   (without a window; hp54200a capture --help)\n"
        "\n"
        "The operator's screen for an HP 54200A digitizing oscilloscope on a GPIB (IEEE 488)\n"
        "bus: waveforms, spectra and the scope's own period and RMS measurements, written as\n"
        "a Windows metafile, copied to the clipboard or saved as fixed-width text files.\n"
        "\n"
        "Options:\n"
        "  --resource STRING    the interface and the scope's address, as a resource string:\n"
        "%FORMS%"
        "  --address N          the scope's primary address, 0 to 30, for the forms that name\n"
        "                       only the interface (::INTFC)\n"
        "  --choose-connection  open the Connection dialog before the window when nothing\n"
        "                       names an interface (no option, no variable, no saved\n"
        "                       choice); the desktop entry passes it\n"
        "  --open FILE...       show a saved capture (its CSV files, or waveform1_data.dat\n"
        "                       ...) instead of the scope's data until the first acquisition\n"
        "  -h, --help, --version\n"
        "\n"
        "The interface is taken from the command line, then from the environment variables\n"
        "below, then from the choice saved by the Connection dialog (OK), then the default:\n"
        "the %BOARD% board 0, the scope at address 5 (GPIB0::5::INSTR).\n"
        "\n"
        "Environment:\n"
        "%LIBRARIES%"
        "  GPIB_BOARD    the interface's board index, 0 to 15 (default 0)\n"
        "  GPIB_ADDRESS  the scope's primary address, 0 to 30 (default 5)\n"
        "\n"
        "Files:\n"
        "  vistrel.wmf   the metafile (Output, \"WMF\"), in the current folder\n"
        "%DATA%"
        "  Save as...    the picture as PNG, SVG or PDF, or the shown graphs' data as CSV,\n"
        "                where you choose (numbered hp54200a-0001.png ... in the last folder)\n"
        "%SETTINGS%";
    const scope::BoardDriverTexts& driver = scope::Board_driver_texts();
    Replace(text, "%FORMS%", scope::Resource_forms());
    Replace(text, "%BOARD%", driver.name);
    Replace(text, "%LIBRARIES%", Driver_libraries_help(driver, program_dir));
    Replace(text, "%DATA%",
            Wrapped(Padded("  " + std::string(platform::Data_directory_text()), 16) +
                        "the text data files (Output, \"Textfile\"); the folder must exist",
                    16));
    Replace(text, "%SETTINGS%",
            Wrapped(std::string("  ") + platform::Settings_location_text() +
                        "  the settings: the connection, written when the Connection dialog "
                        "is closed with OK, the folder of the last Save as..., written when "
                        "it has saved, and Run's interval, written when it is changed; nothing "
                        "else writes it",
                    16));
    return text;
}

std::string Version_text() {
    return "hp54200a " HP54200A_VERSION "\n";
}

}  // namespace app
