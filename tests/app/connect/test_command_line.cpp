// The program's command line, run as a user would: --help and --version without any display,
// and an argument that neither Qt nor the program knows.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the built program with the given environment prefix and arguments.
ProgramRun Run_program(const std::string& environment, const std::string& arguments) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string tag = std::to_string(getpid());
    const auto out = dir / ("hp_cli_out_" + tag);
    const auto err = dir / ("hp_cli_err_" + tag);
    const std::string program = std::string(std::getenv("HP_BUILD_DIR")) + "/app/hp54200a";
    // No saved connection of the machine's user can reach the program.
    const std::string command = "env XDG_CONFIG_HOME=/nonexistent/hp54200a env " + environment +
                                " '" + program + "' " + arguments + " >'" + out.string() + "' 2>'" +
                                err.string() + "' </dev/null";
    ProgramRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

const char* const kNoDisplay = "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";

TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
    const ProgramRun help = Run_program(kNoDisplay, "--help");
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.rfind("Usage: hp54200a ", 0), 0u);
    for (const char* named :
         {"GPIB_LIBRARY", "libgpib.so.0", "GPIB_BOARD", "(default 0)", "GPIB_ADDRESS",
          "(default 5)", "libhp54200a_sim.so", "~/junk/", "vistrel.wmf", "--resource STRING",
          "PRLGX-ASRL::serial port::INTFC", "--address N", "--choose-connection",
          "then from the environment variables", "hp54200a.conf",
          "no saved\n                       choice); the desktop entry passes it",
          "the connection, written when the\n                Connection dialog is closed with OK",
          "the folder of the last Save\n                as..., written when it has saved",
          "and Run's interval, written when\n                it is changed"})
        EXPECT_NE(help.out.find(named), std::string::npos) << named;
    // A program run from its build folder finds the simulated scope built beside it, and says so
    // (the folder is longer than a line: the words as they are wrapped).
    const std::string built_sim = std::string(std::getenv("HP_BUILD_DIR")) + "/sim";
    std::string flat = help.out;
    for (size_t at = flat.find("\n "); at != std::string::npos; at = flat.find("\n ")) {
        const size_t words = flat.find_first_not_of(' ', at + 1);
        flat.replace(at, words - at, " ");
    }
    EXPECT_NE(flat.find("come with the program, in " + built_sim), std::string::npos) << flat;
    EXPECT_EQ(help.err, "");
    const ProgramRun short_help = Run_program(kNoDisplay, "-h");
    EXPECT_EQ(short_help.status, 0);
    EXPECT_EQ(short_help.out, help.out);

    const ProgramRun version = Run_program(kNoDisplay, "--version");
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, "hp54200a " + std::string(std::getenv("HP54200A_VERSION")) + "\n");
}

TEST(CommandLine, UnknownArgumentPrintsTheUsageAndExits2) {
    // Qt takes -platform and its value; what is left is refused, with or without a display.
    const std::pair<const char*, const char*> runs[] = {
        {"QT_QPA_PLATFORM=offscreen", "-platform offscreen --frobnicate"},
        {kNoDisplay, "--frobnicate"},
        {kNoDisplay, "-reverse --style=fusion --frobnicate"},
        {kNoDisplay, "-style"},  // an option of Qt's without its value
    };
    for (const auto& [environment, arguments] : runs) {
        SCOPED_TRACE(arguments);
        const ProgramRun r = Run_program(environment, arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        const std::string named =
            std::string(arguments).substr(std::string(arguments).rfind(' ') + 1);
        EXPECT_NE(r.err.find("hp54200a: unknown argument \"" + named + "\"\n"), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("Usage: hp54200a "), std::string::npos);
    }
}

TEST(CommandLine, RefusedConnectionOptionsExit2BeforeAnyWindow) {
    const std::pair<const char*, const char*> runs[] = {
        {"--resource", "hp54200a: --resource needs a value\n"},
        {"--resource GPIB0::99::INSTR --address 3",
         "hp54200a: \"GPIB0::99::INSTR\" is not a resource this program can use: \"99\" is not a "
         "primary address from 0 to 30.\nAccepted forms:\n  GPIB[board]::address[::INSTR]"},
        {"--resource SIM::5::INSTR --address 31",
         "hp54200a: --address \"31\" is not a primary address: use a number from 0 to 30."},
    };
    for (const auto& [arguments, said] : runs) {
        SCOPED_TRACE(arguments);
        const ProgramRun r = Run_program(kNoDisplay, arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind(said, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("Usage: hp54200a "), std::string::npos);
    }
}

// The window started where there is no display: what is missing and how to work without a
// window, status 1, none of Qt's advice to reinstall (nor its abort's 134).
TEST(CommandLine, NoDisplaySaysSoAndNamesCapture) {
    const std::pair<const char*, const char*> runs[] = {
        {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", ""},
        {"-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97", "--resource SIM::5::INSTR"},
        {"-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb", "--choose-connection"},
    };
    for (const auto& [environment, arguments] : runs) {
        SCOPED_TRACE(environment);
        const ProgramRun r = Run_program(environment, arguments);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("hp54200a: no display was found"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\"hp54200a capture\""), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Reinstalling"), std::string::npos) << r.err;
    }
}

TEST(CommandLine, RefusedBusAddressIsReportedBeforeAnyDriverIsLoaded) {
    // The refusal's box is modal and nobody closes it offscreen: the run is cut short by
    // timeout, and what matters is the line on standard error and that no driver was tried.
    const ProgramRun r = Run_program(
        "QT_QPA_PLATFORM=offscreen GPIB_ADDRESS=31 GPIB_LIBRARY=/nonexistent timeout 3", "");
    // (Qt may say things of its own on standard error too.)
    EXPECT_NE(r.err.find("hp54200a: GPIB_ADDRESS=\"31\" is not a valid GPIB primary address: "
                         "use a number from 0 to 30.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("cannot load"), std::string::npos);
}

}  // namespace
