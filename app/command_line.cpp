// The usage and version texts. The version is the project's, set once in CMake.
#include "app/command_line.h"

#include <cstring>
#include <string_view>

namespace app {

EarlyAction Early_action(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return EarlyAction::Help;
        if (std::strcmp(argv[i], "--version") == 0)
            return EarlyAction::Version;
    }
    return EarlyAction::Run;
}

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

}  // namespace

const char* Unknown_argument(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-')
            return argv[i];
        arg.remove_prefix(arg.rfind("--", 0) == 0 ? 2 : 1);
        const auto equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        if (Listed(kQtFlags, name))
            continue;
        if (!Listed(kQtValueOptions, name))
            return argv[i];
        if (equals == std::string_view::npos && ++i >= argc)
            return argv[i - 1];  // the value is missing
    }
    return nullptr;
}

std::string Usage_text() {
    return "Usage: hp54200a [--help | --version] [Qt options, e.g. -platform offscreen]\n"
           "\n"
           "The operator's screen for an HP 54200A digitizing oscilloscope on a GPIB (IEEE 488)\n"
           "bus: waveforms, spectra and the scope's own period and RMS measurements, written as\n"
           "a Windows metafile, copied to the clipboard or saved as fixed-width text files.\n"
           "\n"
           "Environment:\n"
           "  GPIB_LIBRARY  the GPIB driver library to load (default libgpib.so.0, the\n"
           "                linux-gpib user library). Driver libraries that come with the\n"
           "                program, in " HP_DRIVER_DIR
           ":\n"
           "                  libhp54200a_sim.so   a simulated HP 54200A (no hardware)\n"
           "                  libgpib_prologix.so  Prologix GPIB-USB/-ETHERNET and AR488 \"++\"\n"
           "                                       adapters: PROLOGIX_PORT=/dev/ttyUSB0 or\n"
           "                                       host[:1234], PROLOGIX_BAUD (default 115200)\n"
           "                  libgpib_vxi11.so     LAN-GPIB gateways speaking VXI-11:\n"
           "                                       VXI11_HOST=host[:port], VXI11_DEVICE\n"
           "                                       (default gpib<board>,<address>)\n"
           "  GPIB_BOARD    the interface's board index, 0 to 15 (default 0)\n"
           "  GPIB_ADDRESS  the scope's primary address, 0 to 30 (default 5)\n"
           "\n"
           "Files:\n"
           "  vistrel.wmf   the metafile (Output, \"Windows Metafile\"), in the current folder\n"
           "  ~/junk/       the text data files (Output, \"Textfile\"); the folder must exist\n";
}

std::string Version_text() {
    return "hp54200a " HP54200A_VERSION "\n";
}

}  // namespace app
