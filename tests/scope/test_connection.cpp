// Opening the connection to the simulated scope: the driver binding and its three status forms,
// the identity check, the control sequences, and every fatal path down to the process exit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "portable.h"
#include "support_sim_link.h"

namespace {

using testing_support::SimLinkTest;
using Strings = std::vector<std::string>;

std::string Sim_variant(const std::string& suffix) {
    return std::string(std::getenv("HP_SIM_DIR")) + "/" +
           scope::Library_file_name("libhp54200a_sim" + suffix + ".so");
}

// A library file that is not there and a file that is no library, named as the system names
// them, with the loader's words: dlerror's in full; of Windows's, whose wording follows the
// system's language, the error number.
const std::string missing_library =
    portable::windows ? "C:\\nonexistent\\gpib.dll" : "/nonexistent/libgpib.so.0";
const std::string not_a_library =
    portable::windows ? std::string(std::getenv("HP_TESTS_DIR")) + "\\CMakeLists.txt"
                      : "/etc/hostname";
const std::string missing_dlerror =
    portable::windows ? "" : missing_library + ": cannot open shared object file";
const std::string not_a_library_dlerror = portable::windows ? "" : not_a_library + ": ";

class ConnectionTest : public SimLinkTest {
  protected:
    Strings Box_texts() const {
        Strings texts;
        for (const auto& box : rec.platform.boxes) texts.push_back(box.text);
        return texts;
    }
    // Opens the connection, expecting the program to stop.
    void Expect_stop() {
        EXPECT_THROW(scope::initialize_hp54200A(), platform::ProgramStopped);
        EXPECT_EQ(rec.platform.stops, 1);
    }
    // The traffic ends with the device taken offline, the library released, and nothing after.
    void Expect_offline_then_unload() {
        const Strings calls = harness.calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls[calls.size() - 2], "ibonl");
        EXPECT_EQ(calls.back(), "unload");
        EXPECT_FALSE(scope::Gpib_library_loaded());
    }
};

TEST_F(ConnectionTest, OpensAndIdentifiesTheScope) {
    model::Waveforms[1].inverted = model::Waveforms[2].averaging = true;
    model::Waveforms[2].average_count = 10;
    rec.status.lines = {"old line"};

    scope::initialize_hp54200A();

    EXPECT_EQ(Traffic(), (Strings{"load", "ibdev", "ibclr", "ID ?", "read 1024"}));
    const auto log = harness.log();
    EXPECT_EQ(log[1].args, "board=0 pad=5 sad=0 tmo=12 eot=1 eos=0");
    EXPECT_EQ(log[3].args, "ud=1 count=4");
    EXPECT_EQ(rec.status.clears, 1);
    EXPECT_EQ(rec.status.lines,
              (Strings{"Bringing scope online and initializing...", "Initialization successful"}));
    EXPECT_TRUE(scope::Link.Scope_initialized);
    EXPECT_FALSE(scope::Link.Waveform_selected);
    EXPECT_FALSE(model::Waveforms[1].inverted || model::Waveforms[2].averaging);
    EXPECT_EQ(model::Waveforms[2].average_count, 10);
    EXPECT_TRUE(rec.platform.boxes.empty());
    EXPECT_TRUE(rec.platform.sleeps.empty());
}

TEST_F(ConnectionTest, IdentityMustBeTheQuotedModelWithCrLf) {
    struct Case {
        const char* name;
        const char* setting;
        const char* value;
        bool accepted;
    };
    const Case cases[] = {
        {"QuotedWithCrLf", "HP_SIM_REPLY_ID", "\"HP54200A\"\\r\\n", true},
        {"NoQuotes", "HP_SIM_REPLY_ID", "HP54200A\\r\\n", false},
        {"TrailingSpace", "HP_SIM_REPLY_ID", "\"HP54200A\" \\r\\n", false},
        {"LineFeedOnly", "HP_SIM_REPLY_ID", "\"HP54200A\"\\n", false},
        {"OtherModel", "HP_SIM_REPLY_ID", "\"HP54201A\"\\r\\n", false},
        {"OneByte", "HP_SIM_REPLY_ID", "\\n", false},
        {"OverlongPastCapacity", "HP_SIM_OVERLONG", "ID@150", false},
        {"OverlongPastTheBuffer", "HP_SIM_OVERLONG", "ID@2000", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        harness.set(c.setting, c.value);
        rec.platform.boxes.clear();
        rec.platform.stops = 0;
        scope::Link = scope::LinkState{};
        if (c.accepted) {
            scope::initialize_hp54200A();
            EXPECT_TRUE(scope::Link.Scope_initialized);
            scope::Release_gpib_library();
        } else {
            harness.clear_log();
            Expect_stop();
            EXPECT_EQ(Box_texts(), Strings{"Did not find the HP54200A!"});
            EXPECT_EQ(scope::Link.Message, "Did not find the HP54200A!");
            EXPECT_FALSE(scope::Link.Scope_initialized);
            Expect_offline_then_unload();
        }
        harness.unset(c.setting);
    }
}

TEST_F(ConnectionTest, EveryFailureWhileOpeningIsFatal) {
    struct Case {
        const char* setting;
        const char* value;
        const char* first_box;
    };
    const Case cases[] = {
        {"HP_SIM_FAIL_IBDEV", "1", "Unable to open device  ibsta = $8100  iberr = 2"},
        {"HP_SIM_NO_BOARD", "1", "Unable to open device  ibsta = $8100  iberr = 0"},
        {"HP_SIM_FAIL_IBCLR", "1", "Unable to clear device  ibsta = $8100  iberr = 2"},
        {"HP_SIM_FAIL_WRITE", "ID ?@1", "Unable to write to device  ibsta = $8100  iberr = 2"},
        {"HP_SIM_TIMEOUT_READ", "1", "Unable to read from device  ibsta = $C100  iberr = 6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        harness.set(c.setting, c.value);
        harness.clear_log();
        rec.platform.boxes.clear();
        rec.platform.stops = 0;
        Expect_stop();
        ASSERT_EQ(rec.platform.boxes.size(), 4u);
        EXPECT_EQ(rec.platform.boxes[0].text, c.first_box);
        EXPECT_EQ(rec.platform.boxes[0].kind, platform::BoxKind::Error);
        Expect_offline_then_unload();
        EXPECT_FALSE(scope::Link.Scope_initialized);
        harness.unset(c.setting);
    }
}

TEST_F(ConnectionTest, TimeOutReportShowsTheFourBoxes) {
    harness.set("HP_SIM_TIMEOUT_READ", "1");
    Expect_stop();
    EXPECT_EQ(Box_texts(),
              (Strings{"Unable to read from device  ibsta = $C100  iberr = 6",
                       "ibsta ===>   ERR  TMO  CMPL", "iberr ===>   EABO", "ibcntl = 0"}));
}

TEST_F(ConnectionTest, BindingFailures) {
    struct Case {
        const char* name;
        std::string library;
        const char* box;
        bool loaded_then_released;
        std::string diagnostic;          // the line on standard error, up to the loader's own words
        std::string windows_error = "";  // then, on Windows, the error number
    };
    const std::string no_load = "hp54200a: cannot load the GPIB driver library ";
    const std::string lacks = "hp54200a: the GPIB driver library ";
    const Case cases[] = {
        {"MissingFile", missing_library, "LoadLibrary FAILED!", false,
         no_load + missing_library + " (from GPIB_LIBRARY): " + missing_dlerror,
         portable::windows ? "(error 126)" : ""},
        {"NotALibrary", not_a_library, "LoadLibrary FAILED!", false,
         no_load + not_a_library + " (from GPIB_LIBRARY): " + not_a_library_dlerror,
         portable::windows ? "(error 193)" : ""},
        {"LacksWaitSRQ", Sim_variant("_no_waitsrq"), "GetProcAddresses FAILED!", true,
         lacks + Sim_variant("_no_waitsrq") + " lacks WaitSRQ\n"},
        {"LacksEveryStatusForm", Sim_variant("_no_status"), "GetProcAddresses FAILED!", true,
         lacks + Sim_variant("_no_status") +
             " lacks a status form (ThreadIbsta/ThreadIberr/ThreadIbcnt, "
             "user_ibsta/user_iberr/user_ibcnt or ibsta/iberr/ibcnt)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::Set_environment_variable("GPIB_LIBRARY", c.library);
        harness.clear_log();
        rec.platform.boxes.clear();
        rec.platform.stops = 0;
        rec.status.lines.clear();
        ::testing::internal::CaptureStderr();
        Expect_stop();
        const std::string diagnostics = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(diagnostics.substr(0, c.diagnostic.size()), c.diagnostic);
        EXPECT_NE(diagnostics.find(c.windows_error, c.diagnostic.size()), std::string::npos)
            << diagnostics;
        EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << diagnostics;
        EXPECT_EQ(Box_texts(), Strings{c.box});
        EXPECT_FALSE(scope::Gpib_library_loaded());
        EXPECT_EQ(harness.calls(),
                  c.loaded_then_released ? (Strings{"load", "unload"}) : Strings{});
        // The same reason in the status list, which a program started from a menu shows.
        ASSERT_EQ(rec.status.lines.size(), 1u);
        EXPECT_NE(rec.status.lines[0].find(c.library), std::string::npos) << rec.status.lines[0];
        EXPECT_NE(
            rec.status.lines[0].find(c.loaded_then_released ? " lacks " : " cannot be loaded: "),
            std::string::npos)
            << rec.status.lines[0];
    }
}

TEST_F(ConnectionTest, EachStatusFormIsRead) {
    // The accessor variant leaves its user_ variables stale with ERR set: a program reading
    // them instead of the accessors would refuse the device at ibdev.
    for (const char* suffix : {"", "_thread_status", "_plain_status"}) {
        SCOPED_TRACE(suffix);
        platform::Set_environment_variable("GPIB_LIBRARY", Sim_variant(suffix));
        rec.platform.stops = 0;
        Expect_status_form_read();
        EXPECT_EQ(rec.platform.stops, 1);
    }
}

TEST_F(ConnectionTest, EmptyLibraryNameFallsBackToTheDriversDefault) {
    // No GPIB driver is installed on the test machines, so the default names fail to load.
    platform::Set_environment_variable("GPIB_LIBRARY", "");
    ::testing::internal::CaptureStderr();
    Expect_stop();
    const std::string defaults = portable::windows ? "GPIB-32.DLL or ni4882.dll" : "libgpib.so.0";
    EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind(
                  "hp54200a: cannot load the GPIB driver library " + defaults +
                      " (the default; set GPIB_LIBRARY to use another): ",
                  0),
              0u);
    EXPECT_EQ(Box_texts(), Strings{"LoadLibrary FAILED!"});
}

TEST_F(ConnectionTest, OpeningAgainHoldsTheLibraryOnce) {
    // A second opening must not keep a second load of the driver: one release unloads it.
    Connect();
    Connect();
    scope::Release_gpib_library();
    EXPECT_EQ(harness.calls(), Strings{"unload"});
}

TEST_F(ConnectionTest, AutoscaleSendsWaitsAndLogs) {
    Connect();
    scope::Autoscale_sequence();
    EXPECT_EQ(harness.writes(), Strings{"AUTOSCALE FULL"});
    EXPECT_EQ(rec.status.lines, Strings{"Executing AUTOSCALE"});
    EXPECT_EQ(rec.platform.sleeps, std::vector<int>{5000});

    harness.set("HP_SIM_FAIL_WRITE", "AUTOSCALE FULL@1");
    Connect();
    EXPECT_THROW(scope::Autoscale_sequence(), platform::ProgramStopped);
    EXPECT_EQ(rec.platform.boxes.at(0).text,
              "Error performing AUTOSCALE command  ibsta = $8100  iberr = 2");
    EXPECT_TRUE(rec.status.lines.empty());
    EXPECT_TRUE(rec.platform.sleeps.empty());
}

TEST_F(ConnectionTest, CouplingSequenceForEachChannel) {
    struct Case {
        int channel;
        int32_t code;
        Strings writes;
        std::vector<int> sleeps;
        const char* line;
    };
    const Case cases[] = {
        {1, 2, {"CHANNEL 1", "COUPLING AC"}, {100, 100}, "Setting Channel 1 Coupling"},
        {1, 1, {"CHANNEL 1", "COUPLING DC"}, {100, 100}, "Setting Channel 1 Coupling"},
        {2, 2, {"CHANNEL 2", "COUPLING AC"}, {100}, "Setting Channel 2 Coupling"},
        {2, 0, {"CHANNEL 2", "COUPLING DC"}, {100}, "Setting Channel 2 Coupling"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel * 10 + c.code);
        Connect();
        scope::Link.Waveform_selected = true;
        scope::Coupling_sequence(c.channel, c.code);
        EXPECT_EQ(harness.writes(), c.writes);
        EXPECT_EQ(rec.platform.sleeps, c.sleeps);
        EXPECT_EQ(rec.status.lines, Strings{c.line});
        EXPECT_FALSE(scope::Link.Waveform_selected);
        scope::Release_gpib_library();
    }
}

TEST_F(ConnectionTest, CouplingReportsTheCouplingWriteAfterItsWaits) {
    struct Case {
        int channel;
        const char* fault;
        bool fatal;
        size_t sleeps_before_report;
    };
    const Case cases[] = {
        {1, "COUPLING DC@1", true, 2},  // channel 1 looks after its second wait
        {2, "COUPLING DC@1", true, 1},  // channel 2 right after the write
        {1, "CHANNEL 1@1", false, 2},   // the CHANNEL write is never checked
        {2, "CHANNEL 2@1", false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        harness.set("HP_SIM_FAIL_WRITE", c.fault);
        Connect();
        rec.platform.boxes.clear();
        if (c.fatal) {
            EXPECT_THROW(scope::Coupling_sequence(c.channel, 1), platform::ProgramStopped);
            EXPECT_EQ(rec.platform.boxes.at(0).text, "Error setting coupling for channel " +
                                                         std::to_string(c.channel) +
                                                         "  ibsta = $8100  iberr = 2");
            EXPECT_TRUE(rec.status.lines.empty());
        } else {
            scope::Coupling_sequence(c.channel, 1);
            EXPECT_TRUE(rec.platform.boxes.empty());
            scope::Release_gpib_library();
        }
        EXPECT_EQ(rec.platform.sleeps.size(), c.sleeps_before_report);
        harness.unset("HP_SIM_FAIL_WRITE");
    }
}

TEST_F(ConnectionTest, SubsystemSelections) {
    Connect();
    scope::Select_measure_subsystem();
    EXPECT_EQ(Traffic(), (Strings{"HEADER OFF", "MEASURE?", "read 1024"}));
    EXPECT_EQ(rec.platform.sleeps, std::vector<int>{100});
    EXPECT_FALSE(scope::Link.Waveform_selected);

    harness.clear_log();
    rec.platform.sleeps.clear();
    scope::Select_waveform_subsystem();
    EXPECT_EQ(Traffic(), (Strings{"HEADER OFF", "WAVEFORM?", "read 1024"}));
    EXPECT_TRUE(rec.platform.sleeps.empty());
    EXPECT_TRUE(scope::Link.Waveform_selected);

    harness.clear_log();
    scope::Closing_sequence();
    EXPECT_EQ(Traffic(), (Strings{"HEADER OFF", "WAVEFORM?", "read 1024", "SOURCE CHANNEL1"}));
}

TEST_F(ConnectionTest, MeasureSelectionFailures) {
    for (const auto& [setting, value, text] :
         {std::tuple{"HP_SIM_FAIL_WRITE", "MEASURE?@1", "Measure command write error"},
          std::tuple{"HP_SIM_TIMEOUT_READ", "2", "Measure command read error"}}) {
        SCOPED_TRACE(text);
        harness.set(setting, value);
        Connect();
        rec.platform.boxes.clear();
        EXPECT_THROW(scope::Select_measure_subsystem(), platform::ProgramStopped);
        EXPECT_EQ(rec.platform.boxes.at(0).text.rfind(text, 0), 0u);
        harness.unset(setting);
    }
}

TEST_F(ConnectionTest, UncheckedWaveformSelectionGoesOnAfterFailures) {
    harness.set("HP_SIM_FAIL_WRITE", "HEADER OFF@1;WAVEFORM?@1");
    Connect();
    scope::Select_waveform_subsystem();
    EXPECT_TRUE(rec.platform.boxes.empty());
    EXPECT_TRUE(scope::Link.Waveform_selected);
}

// The stop is a real process exit once the device is offline and the library released: the
// child's traffic log ends with ibonl and unload.
TEST(ConnectionDeathTest, FatalErrorEndsTheProcess) {
    // Forked at the point of the check, so the child writes to this test's traffic log.
    GTEST_FLAG_SET(death_test_style, "fast");
    sim_harness::SimHarness harness({{"HP_SIM_TIMEOUT_READ", "1"}});
    // Where there is no fork (Windows), the child runs this test again from its start, with a
    // harness of its own: it writes to its parent's log instead, named in the environment. The
    // check of the log comes last, where no child gets.
    if (const char* parent_log = std::getenv("HP_DEATH_TEST_LOG")) {
        std::remove(harness.log_path().c_str());
        harness.set("HP_SIM_LOG", parent_log);
    } else {
        platform::Set_environment_variable("HP_DEATH_TEST_LOG", harness.log_path());
    }
    platform::Set_environment_variable("GPIB_LIBRARY", missing_library);
    EXPECT_EXIT(scope::initialize_hp54200A(), ::testing::ExitedWithCode(1), "LoadLibrary FAILED!");

    platform::Set_environment_variable("GPIB_LIBRARY", std::getenv("HP_SIM_LIBRARY"));
    EXPECT_EXIT(scope::initialize_hp54200A(), ::testing::ExitedWithCode(1),
                "Unable to read from device  ibsta = \\$C100  iberr = 6");
    platform::Unset_environment_variable("GPIB_LIBRARY");
    platform::Unset_environment_variable("HP_DEATH_TEST_LOG");
    const Strings calls = harness.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "ibonl");
    EXPECT_EQ(calls.back(), "unload");
}

}  // namespace
