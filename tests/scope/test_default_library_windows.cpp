// The driver library found on Windows when GPIB_LIBRARY names none: GPIB-32.DLL first, then
// ni4882.dll when GPIB-32.DLL is absent or lacks an export; each status form NI's drivers
// use; the two fatal texts; no library left loaded. The simulated scope and its variants play
// the drivers, copied under those names into a scratch folder that the loader searches after
// the program's own (SetDllDirectory), removed at the end of each test. A 32-bit GPIB-32.DLL
// is played by such a copy whose header names the i386 machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "portable.h"
#include "scope/acquisition.h"
#include "scope/driver_binding.h"
#include "support_sim_link.h"

namespace {

namespace fs = std::filesystem;
using scope::StatusForm;
using Strings = std::vector<std::string>;

const char* const kGpib32 = "GPIB-32.DLL";
const char* const kNi4882 = "ni4882.dll";

bool Loaded(const char* name) {
    return GetModuleHandleA(name) != nullptr;
}

class DefaultLibraryTest : public testing_support::SimLinkTest {
  protected:
    fs::path scratch;

    void SetUp() override {
        SimLinkTest::SetUp();
        platform::Unset_environment_variable("GPIB_LIBRARY");
        // The program's folder is searched first: a copy left there would be found instead.
        for (const char* name : {kGpib32, kNi4882})
            ASSERT_FALSE(fs::exists(fs::path(portable::Program_folder()) / name))
                << name << " lies beside the test program";
        scratch = portable::Make_temp_folder("hp_gpib_drivers_");
        ASSERT_FALSE(scratch.empty());
        ASSERT_TRUE(SetDllDirectoryA(scratch.string().c_str()));
    }
    void TearDown() override {
        SimLinkTest::TearDown();
        SetDllDirectoryA(nullptr);
        std::error_code ec;
        fs::remove_all(scratch, ec);
    }

    // Puts the simulator ("") or a variant ("_no_waitsrq") in the scratch folder under a
    // driver's name; nullptr leaves no driver of that name.
    void Driver(const char* name, const char* variant) {
        std::error_code ec;
        fs::remove(scratch / name, ec);
        if (variant == nullptr)
            return;
        const std::string file =
            scope::Library_file_name("libhp54200a_sim" + std::string(variant) + ".so");
        ASSERT_TRUE(fs::copy_file(fs::path(std::getenv("HP_SIM_DIR")) / file, scratch / name));
    }
    // Opens the connection, expecting the program to stop; the line on standard error.
    std::string Expect_stop() {
        ::testing::internal::CaptureStderr();
        EXPECT_THROW(scope::initialize_hp54200A(), platform::ProgramStopped);
        return ::testing::internal::GetCapturedStderr();
    }
    void Expect_nothing_loaded() {
        EXPECT_FALSE(scope::Gpib_library_loaded());
        EXPECT_FALSE(Loaded(kGpib32));
        EXPECT_FALSE(Loaded(kNi4882));
    }
};

TEST_F(DefaultLibraryTest, Gpib32FirstThenNi4882) {
    struct Case {
        const char* name;
        const char* gpib32;  // the variant under each name, nullptr for none
        const char* ni4882;
        const char* chosen;
        StatusForm form;
    };
    const Case cases[] = {
        {"BothPresent", "_plain_status", "_thread_status", kGpib32, StatusForm::PlainVariables},
        {"Gpib32Absent", nullptr, "_plain_status", kNi4882, StatusForm::PlainVariables},
        {"Gpib32LacksWaitSRQ", "_no_waitsrq", "_plain_status", kNi4882, StatusForm::PlainVariables},
        {"Gpib32LacksStatus", "_no_status", "_thread_status", kNi4882, StatusForm::Accessors},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Driver(kGpib32, c.gpib32);
        Driver(kNi4882, c.ni4882);
        scope::DriverBinding driver;
        scope::ChosenLibrary chosen;
        std::string reason;
        ASSERT_TRUE(scope::Bind_chosen_driver_library(driver, chosen, reason)) << reason;
        EXPECT_EQ(chosen.name, c.chosen);
        EXPECT_FALSE(chosen.configured);
        EXPECT_EQ(driver.form, c.form);
        EXPECT_EQ(scope::Missing_exports(driver), "");
        // The one passed over is not kept loaded.
        EXPECT_FALSE(Loaded(chosen.name == kGpib32 ? kNi4882 : kGpib32));
        scope::Unbind_driver_library(driver);
        Expect_nothing_loaded();
    }
}

TEST_F(DefaultLibraryTest, EachStatusFormIsReadThroughGpib32) {
    // The Thread* variant leaves its user_ variables stale with ERR set.
    for (const char* variant : {"", "_thread_status", "_user_status", "_plain_status"}) {
        SCOPED_TRACE(variant);
        Driver(kGpib32, variant);
        Expect_status_form_read();
        Expect_nothing_loaded();
    }
}

TEST_F(DefaultLibraryTest, AcquiresThroughEitherName) {
    harness.set("HP_SIM_CH1_FREQUENCY", "1000");
    harness.set("HP_SIM_CH1_AMPLITUDE", "1");
    harness.set("HP_SIM_CH1_POINTS", "500");
    harness.set("HP_SIM_CH1_XINCREMENT", "1e-5");
    for (const char* name : {kGpib32, kNi4882}) {
        SCOPED_TRACE(name);
        Driver(kGpib32, name == kGpib32 ? "" : nullptr);
        Driver(kNi4882, "");
        Connect();
        scope::Get_Information_About_Waveform(1);
        scope::Get_waveform_data(1);
        EXPECT_TRUE(rec.platform.boxes.empty());
        EXPECT_TRUE(Loaded(name));
        ASSERT_EQ(model::Preamble.points, 500);
        const auto& w = model::Waveforms[1];
        for (int j = 1; j <= 500; ++j)
            ASSERT_NEAR(w.volts[j], std::sin(2 * std::numbers::pi * 1000.0 * w.time[j]), 0.0101)
                << j;
        scope::Release_gpib_library();
        Expect_nothing_loaded();
    }
}

TEST_F(DefaultLibraryTest, FatalTexts) {
    struct Case {
        const char* name;
        const char* gpib32;
        const char* ni4882;
        const char* box;
        std::string diagnostic;  // the line on standard error, up to the loader's words
        Strings calls;           // the simulators' traffic
    };
    const std::string lacks = "hp54200a: the GPIB driver library ";
    const Case cases[] = {
        {"NoDriver",
         nullptr,
         nullptr,
         "LoadLibrary FAILED!",
         "hp54200a: cannot load the GPIB driver library GPIB-32.DLL or ni4882.dll (the default; "
         "set GPIB_LIBRARY to use another): GPIB-32.DLL: ",
         {}},
        {"Gpib32LacksWaitSRQ",
         "_no_waitsrq",
         nullptr,
         "GetProcAddresses FAILED!",
         lacks + "GPIB-32.DLL lacks WaitSRQ\n",
         {"load", "unload"}},
        {"BothLack",
         "_no_waitsrq",
         "_no_status",
         "GetProcAddresses FAILED!",
         lacks + "ni4882.dll lacks a status form",
         {"load", "load", "unload", "unload"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Driver(kGpib32, c.gpib32);
        Driver(kNi4882, c.ni4882);
        harness.clear_log();
        rec.platform.boxes.clear();
        rec.platform.stops = 0;
        const std::string diagnostics = Expect_stop();
        EXPECT_EQ(diagnostics.substr(0, c.diagnostic.size()), c.diagnostic);
        // A library that cannot be loaded: the remedy on a line of its own.
        const bool load_failed = c.box == std::string("LoadLibrary FAILED!");
        EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), load_failed ? 2 : 1)
            << diagnostics;
        EXPECT_EQ(diagnostics.find("Install NI-488.2") != std::string::npos, load_failed);
        ASSERT_EQ(rec.platform.boxes.size(), 1u);
        EXPECT_EQ(rec.platform.boxes[0].text, c.box);
        EXPECT_EQ(rec.platform.stops, 1);
        EXPECT_EQ(harness.calls(), c.calls);
        Expect_nothing_loaded();
    }
}

// A GPIB-32.DLL that cannot be loaded: a 32-bit one is said to be one, naming ni4882.dll, and
// ni4882.dll is tried after it; any other failure gives the system's text with the library's
// name in it (never an unfilled "%1").
TEST_F(DefaultLibraryTest, Gpib32ThatCannotBeLoadedIsExplainedAndPassedOver) {
    const auto patched = [&](std::size_t at_pe_offset, uint16_t value) {
        Driver(kGpib32, "");
        std::fstream f(scratch / kGpib32, std::ios::in | std::ios::out | std::ios::binary);
        uint32_t pe = 0;
        f.seekg(0x3C);
        f.read(reinterpret_cast<char*>(&pe), 4);
        f.seekp(pe + at_pe_offset);
        f.write(reinterpret_cast<const char*>(&value), 2);
    };
    const struct {
        const char* meaning;
        std::function<void()> gpib32;
        const char* ni4882;  // variant, nullptr for none
        const char* chosen;  // nullptr: none loads
        const char* said;    // in the reason
    } rows[] = {
        {"32-bit GPIB-32.DLL, ni4882.dll there", [&] { patched(4, 0x14C); }, "", kNi4882, ""},
        {"32-bit GPIB-32.DLL alone", [&] { patched(4, 0x14C); }, nullptr, nullptr,
         "GPIB-32.DLL: GPIB-32.DLL is a 32-bit library, which this 64-bit program cannot use; "
         "NI-488.2's library for 64-bit programs is ni4882.dll; ni4882.dll: "},
        {"not a library at all", [&] { std::ofstream(scratch / kGpib32) << "not a library"; },
         nullptr, nullptr, "GPIB-32.DLL: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.meaning);
        row.gpib32();
        Driver(kNi4882, row.ni4882);
        scope::DriverBinding driver;
        scope::ChosenLibrary chosen;
        std::string reason;
        const bool bound = scope::Bind_chosen_driver_library(driver, chosen, reason);
        EXPECT_EQ(bound, row.chosen != nullptr) << reason;
        if (bound) {
            EXPECT_EQ(chosen.name, row.chosen);
        } else {
            EXPECT_EQ(reason.rfind(row.said, 0), 0u) << reason;
            EXPECT_EQ(reason.find("%1"), std::string::npos) << reason;
            EXPECT_NE(reason.find("ni4882.dll: "), std::string::npos) << reason;
        }
        scope::Unbind_driver_library(driver);
        Expect_nothing_loaded();
    }
}

}  // namespace
