// The program's instrument link through the adapter driver: connecting, the preamble, the data
// block and the measurements of channel 1, through a fake Prologix or AR488 on a serial port or
// on TCP, give the very record that the simulated scope gives when the program loads it as its
// driver. Also checks the settings the driver gives each kind of adapter.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/waveform.h"
#include "recording_platform.h"
#include "scope/acquisition.h"
#include "scope/gpib_driver.h"
#include "scope/probe.h"
#include "scope/resource.h"
#include "scope/scope_link.h"
#include "sim_harness.h"
#include "support_driver.h"
#include "support_fake_adapter.h"

namespace {

using fake_adapter::Dialect;
using fake_adapter::Transport;

model::TWaveformRecord Acquire_channel_1(const std::string& library,
                                         const testing_support::RecordingPlatform& platform) {
    setenv("GPIB_LIBRARY", library.c_str(), 1);
    scope::Link = scope::LinkState{};
    model::Preamble = model::TPreamble{};
    model::Byte_format = false;
    model::Waveforms = {};
    try {
        scope::initialize_hp54200A();
        scope::Get_Information_About_Waveform(1);
        scope::Get_waveform_data(1);
    } catch (const platform::ProgramStopped&) {
        for (const auto& box : platform.boxes) ADD_FAILURE() << box.text;
    }
    // As at Quit: the library is released without taking the device offline.
    scope::Release_gpib_library();
    unsetenv("GPIB_LIBRARY");
    return model::Waveforms[1];
}

void Expect_same_record(const model::TWaveformRecord& a, const model::TWaveformRecord& b) {
    EXPECT_EQ(a.xorigin, b.xorigin);
    EXPECT_EQ(a.xincrement, b.xincrement);
    EXPECT_EQ(a.yorigin, b.yorigin);
    EXPECT_EQ(a.yincrement, b.yincrement);
    EXPECT_EQ(a.yreference, b.yreference);
    EXPECT_EQ(a.v_min, b.v_min);
    EXPECT_EQ(a.v_max, b.v_max);
    EXPECT_EQ(a.measurement_valid, b.measurement_valid);
    EXPECT_EQ(a.period, b.period);
    EXPECT_EQ(a.vrms, b.vrms);
    EXPECT_TRUE(a.time == b.time);
    EXPECT_TRUE(a.volts == b.volts);
}

long Position_of(const std::vector<std::string>& commands, const std::string& text) {
    const auto it = std::find(commands.begin(), commands.end(), text);
    return it == commands.end() ? -1 : static_cast<long>(it - commands.begin());
}

TEST(AdapterLink, ChannelOneRecordEqualsTheSimulatedScopesOwn) {
    struct Case {
        const char* name;
        Dialect dialect;
        Transport transport;
        int startup_ms;
        const char* format;  // 1: a byte per sample, 2: a word
    };
    const Case cases[] = {
        {"Prologix GPIB-USB, bytes", Dialect::prologix, Transport::pty, 0, "1"},
        {"Prologix GPIB-USB, words", Dialect::prologix, Transport::pty, 0, "2"},
        {"Prologix GPIB-ETHERNET, words", Dialect::prologix, Transport::tcp, 0, "2"},
        {"AR488 on an Uno (restarts at open), bytes", Dialect::ar488, Transport::pty, 700, "1"},
        {"AR488 on WiFi, words", Dialect::ar488, Transport::tcp, 0, "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::RecordedPlatform rec;
        sim_harness::SimHarness sim{{"HP_SIM_CH1_FORMAT", c.format}, {"HP_SIM_CH1_NOISE", "0.05"}};
        const model::TWaveformRecord direct =
            Acquire_channel_1(std::getenv("HP_SIM_LIBRARY"), rec.platform);

        fake_adapter::SimulatedScope instrument;
        fake_adapter::FakeAdapter adapter({c.dialect, c.transport, c.startup_ms}, instrument);
        setenv("PROLOGIX_PORT", adapter.port().c_str(), 1);
        const model::TWaveformRecord through_adapter =
            Acquire_channel_1(prologix_test::Library_path(), rec.platform);
        unsetenv("PROLOGIX_PORT");
        // Released without ibonl, as at Quit: unloading the library closes the port.
        EXPECT_TRUE(adapter.wait_closed(2000));

        EXPECT_EQ(model::Byte_format, std::string(c.format) == "1");
        ASSERT_TRUE(direct.measurement_valid);
        Expect_same_record(direct, through_adapter);
        EXPECT_TRUE(rec.platform.boxes.empty());

        const auto commands = adapter.commands();
        EXPECT_EQ(adapter.rejected(), 0);
        const long savecfg = Position_of(commands, "++savecfg 0");
        if (c.dialect == Dialect::prologix) {
            EXPECT_GE(savecfg, 0);
            EXPECT_LT(savecfg, Position_of(commands, "++mode 1"));
        } else {
            EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const std::string& s) {
                return s.rfind("++savecfg", 0) == 0;
            }));
        }
        EXPECT_GE(Position_of(commands, "++addr 5"), 0);
    }
}

}  // namespace

// Find the scope through the adapter driver, the simulated scope standing at address 9: the
// driver's listener search needs an open device, so each address is opened in turn and asked
// "ID ?"; the port is given back after each.
TEST(AdapterLink, FindTheScopeThroughTheAdapter) {
    setenv("HP_SIM_ADDRESS", "9", 1);
    for (const fake_adapter::Dialect dialect : {fake_adapter::Dialect::ar488}) {
        fake_adapter::SimulatedScope scope;
        fake_adapter::FakeAdapter adapter({dialect, fake_adapter::Transport::pty}, scope);
        const auto resource = scope::Parse_resource("PRLGX-ASRL::" + adapter.port() + "::INTFC");
        ASSERT_TRUE(resource.resource) << resource.refusal;
        const auto start = std::chrono::steady_clock::now();
        const scope::ProbeOutcome found = scope::Find_scope(
            *resource.resource, [](const std::string&) { return prologix_test::Library_path(); },
            [](int) { return true; });
        const auto took = std::chrono::steady_clock::now() - start;
        std::printf("scan through the %s: %lld ms\n",
                    dialect == fake_adapter::Dialect::ar488 ? "AR488" : "Prologix",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        EXPECT_LT(took, std::chrono::seconds(60));
        EXPECT_TRUE(found.ok) << found.reason;
        EXPECT_EQ(found.scope_address, 9);
        ASSERT_EQ(found.found.size(), 1u);
        EXPECT_EQ(found.found[0].identity, "\"HP54200A\"");
        EXPECT_EQ(std::getenv("PROLOGIX_PORT"), nullptr);
    }
    unsetenv("HP_SIM_ADDRESS");
}
