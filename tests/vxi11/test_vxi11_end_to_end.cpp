// The program's instrument link acquiring channel 1 through the VXI-11 driver and the fake
// gateway, against the same acquisition through the simulated scope's own driver: the records
// must be identical, in byte and word format, with VXI11_HOST naming the core channel's port or
// leaving it to the gateway's portmapper.
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "dsp/fft.h"
#include "model/waveform.h"
#include "recording_platform.h"
#include "scope/acquisition.h"
#include "scope/gpib_driver.h"
#include "scope/probe.h"
#include "scope/resource.h"
#include "scope/scope_link.h"
#include "support_driver.h"

namespace {

using namespace vxi11_test;

struct Acquisition {
    model::TWaveformRecord record;
    int32_t points = 0;
    bool byte_format = false;
    model::SampleArray spectrum{};
    std::vector<std::string> status_lines;
    std::size_t boxes = 0;
};

// The link's work on the operator's first "Waveform" click for channel 1, through `library`.
Acquisition Acquire(const std::string& library) {
    testing_support::RecordedPlatform recorded;
    scope::Link = scope::LinkState{};
    model::Preamble = model::TPreamble{};
    model::Waveforms = {};
    setenv("GPIB_LIBRARY", library.c_str(), 1);
    try {
        scope::initialize_hp54200A();
        scope::Get_Information_About_Waveform(1);
        scope::Get_waveform_data(1);
    } catch (const platform::ProgramStopped&) {
        ADD_FAILURE() << "the program stopped";
    }
    scope::Release_gpib_library();
    unsetenv("GPIB_LIBRARY");
    return {model::Waveforms[1],       model::Preamble.points, model::Byte_format,
            dsp::Spectra[1].amplitude, recorded.status.lines,  recorded.platform.boxes.size()};
}

TEST(EndToEnd, ChannelOneThroughTheGatewayEqualsTheSimulatedScope) {
    struct Case {
        const char* format;  // HP_SIM_FORMAT: 1 byte, 2 word
        bool ask_portmapper;
    } const cases[] = {{"1", false}, {"2", false}, {"1", true}};
    const char* simulator = std::getenv("HP_SIM_LIBRARY");
    ASSERT_NE(simulator, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + (c.ask_portmapper ? " portmapper" : ""));
        setenv("HP_SIM_FORMAT", c.format, 1);
        const Acquisition direct = Acquire(simulator);
        fake_vxi11::FakeGateway gateway;
        Clear_settings();
        const std::string portmapper = std::to_string(gateway.portmapper_port());
        setenv("VXI11_HOST", c.ask_portmapper ? "127.0.0.1" : gateway.host_with_port().c_str(), 1);
        setenv("VXI11_PORTMAPPER_PORT", c.ask_portmapper ? portmapper.c_str() : "1", 1);
        const Acquisition got = Acquire(Driver_path());
        Clear_settings();
        unsetenv("HP_SIM_FORMAT");

        EXPECT_EQ(direct.byte_format, std::string(c.format) == "1");
        EXPECT_TRUE(direct.record.measurement_valid);
        EXPECT_EQ(got.boxes, 0u);
        EXPECT_EQ(got.status_lines, direct.status_lines);
        EXPECT_EQ(got.points, direct.points);
        EXPECT_EQ(got.byte_format, direct.byte_format);
        EXPECT_EQ(got.record.time, direct.record.time);
        EXPECT_EQ(got.record.volts, direct.record.volts);
        EXPECT_EQ(got.spectrum, direct.spectrum);
        for (auto field : {&model::TWaveformRecord::xincrement, &model::TWaveformRecord::v_min,
                           &model::TWaveformRecord::v_max, &model::TWaveformRecord::period,
                           &model::TWaveformRecord::frequency, &model::TWaveformRecord::vrms}) {
            EXPECT_EQ(got.record.*field, direct.record.*field);
        }
        EXPECT_EQ(got.record.measurement_valid, direct.record.measurement_valid);
        EXPECT_EQ(gateway.link_names(), std::vector<std::string>{"gpib0,5"});
        EXPECT_EQ(gateway.clears(), 1);
        EXPECT_EQ(gateway.open_links(), 0);  // destroyed when the program released the library
    }
}

}  // namespace

// Find the scope through the gateway, the simulated scope standing at address 9: the driver
// has no listener search, so each address gets a link of its own ("gpib0,<address>"), which the
// gateway refuses where nobody listens, without a word on standard error; every link is
// destroyed again.
TEST(EndToEnd, FindTheScopeThroughTheGateway) {
    vxi11_test::Clear_settings();
    setenv("HP_SIM_ADDRESS", "9", 1);
    {
        fake_vxi11::FakeGateway gateway;
        const auto resource =
            scope::Parse_resource("TCPIP0::" + gateway.host_with_port() + "::gpib0,5::INSTR");
        ASSERT_TRUE(resource.resource) << resource.refusal;
        const auto start = std::chrono::steady_clock::now();
        testing::internal::CaptureStderr();
        const scope::ProbeOutcome found = scope::Find_scope(
            *resource.resource, [](const std::string&) { return vxi11_test::Driver_path(); },
            [](int) { return true; });
        // The 30 refused links are no news: the dialog shows what was found.
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_TRUE(found.ok) << found.reason;
        EXPECT_EQ(found.scope_address, 9);
        ASSERT_EQ(found.found.size(), 1u);
        EXPECT_EQ(gateway.link_names().size(), 31u);
        EXPECT_EQ(gateway.link_names()[9], "gpib0,9");
        EXPECT_EQ(gateway.open_links(), 0);
    }
    unsetenv("HP_SIM_ADDRESS");
    vxi11_test::Clear_settings();
}
