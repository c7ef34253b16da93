// The program's instrument link acquiring channel 1 through the VXI-11 driver and the fake
// gateway, compared with the same acquisition through the simulated scope's own driver: the
// records must be identical, in byte and in word format, with VXI11_HOST naming the core
// channel's port or leaving it to the gateway's portmapper.
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "dsp/fft.h"
#include "recording_platform.h"
#include "scope/acquisition.h"
#include "scope/gpib_driver.h"
#include "scope/scope_link.h"
#include "scope/waveform.h"
#include "support_driver.h"

namespace {

using namespace vxi11_test;

struct Acquisition {
    scope::TWaveformRecord record;
    int32_t points = 0;
    bool byte_format = false;
    scope::SampleArray spectrum{};
    std::vector<std::string> status_lines;
    std::vector<std::string> boxes;
};

// One run of the link as the program makes it on its first display click, with the driver
// library named by GPIB_LIBRARY.
Acquisition Acquire(const std::string& library) {
    testing_support::RecordedPlatform recorded;
    scope::Link = scope::LinkState{};
    scope::Preamble = scope::TPreamble{};
    scope::Byte_format = false;
    scope::Waveforms = {};
    scope::Waveforms[1].coupling = 1;
    setenv("GPIB_LIBRARY", library.c_str(), 1);
    Acquisition a;
    try {
        scope::initialize_hp54200A();
        scope::Get_Information_About_Waveform(1);
        scope::Get_waveform_data(1);
    } catch (const app::ProgramStopped&) {
        ADD_FAILURE() << "the program stopped";
    }
    scope::Release_gpib_library();
    unsetenv("GPIB_LIBRARY");
    a.record = scope::Waveforms[1];
    a.points = scope::Preamble.points;
    a.byte_format = scope::Byte_format;
    a.spectrum = dsp::Spectra[1].amplitude;
    a.status_lines = recorded.status.lines;
    for (const auto& box : recorded.platform.boxes) a.boxes.push_back(box.text);
    return a;
}

void Expect_same(const Acquisition& through_gateway, const Acquisition& direct) {
    const scope::TWaveformRecord& g = through_gateway.record;
    const scope::TWaveformRecord& d = direct.record;
    EXPECT_TRUE(through_gateway.boxes.empty());
    EXPECT_EQ(through_gateway.status_lines, direct.status_lines);
    EXPECT_EQ(through_gateway.points, direct.points);
    EXPECT_EQ(through_gateway.byte_format, direct.byte_format);
    EXPECT_EQ(g.time, d.time);
    EXPECT_EQ(g.volts, d.volts);
    EXPECT_EQ(through_gateway.spectrum, direct.spectrum);
    for (auto field : {&scope::TWaveformRecord::xorigin, &scope::TWaveformRecord::xincrement,
                       &scope::TWaveformRecord::yincrement, &scope::TWaveformRecord::v_min,
                       &scope::TWaveformRecord::v_max, &scope::TWaveformRecord::period,
                       &scope::TWaveformRecord::frequency, &scope::TWaveformRecord::vrms}) {
        EXPECT_EQ(g.*field, d.*field);
    }
    EXPECT_EQ(g.measurement_valid, d.measurement_valid);
    EXPECT_TRUE(d.measurement_valid);
}

TEST(EndToEnd, ChannelOneThroughTheGatewayEqualsTheSimulatedScope) {
    struct Case {
        const char* what;
        const char* format;
        bool ask_portmapper;
        bool byte_format;
    };
    const Case cases[] = {
        {"byte format", "1", false, true},
        {"word format", "2", false, false},
        {"byte format, core channel from the portmapper", "1", true, true},
    };
    const char* simulator = std::getenv("HP_SIM_LIBRARY");
    ASSERT_NE(simulator, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setenv("HP_SIM_FORMAT", c.format, 1);
        const Acquisition direct = Acquire(simulator);
        fake_vxi11::FakeGateway gateway;
        Clear_settings();
        if (c.ask_portmapper) {
            setenv("VXI11_HOST", "127.0.0.1", 1);
            setenv("VXI11_PORTMAPPER_PORT", std::to_string(gateway.portmapper_port()).c_str(), 1);
        } else {
            setenv("VXI11_HOST", gateway.host_with_port().c_str(), 1);
        }
        const Acquisition through_gateway = Acquire(Driver_path());
        Clear_settings();
        unsetenv("HP_SIM_FORMAT");
        EXPECT_EQ(direct.byte_format, c.byte_format);
        Expect_same(through_gateway, direct);
        EXPECT_EQ(gateway.link_names(), std::vector<std::string>{"gpib0,5"});
        EXPECT_EQ(gateway.clears(), 1);
        // Unloading the library destroyed the link the program left open.
        EXPECT_EQ(gateway.open_links(), 0);
    }
}

}  // namespace
