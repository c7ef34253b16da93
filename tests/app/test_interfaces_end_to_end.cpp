// The whole program, operated by clicks, through each kind of interface it can load: the
// simulated scope as its own driver, the "++" adapter driver with a fake Prologix on a serial
// port and a fake AR488 on TCP, and the VXI-11 driver with a fake gateway reached directly and
// through its portmapper, the VISA driver with a fake VISA, and the USBTMC driver with a fake
// kernel. Every display and output must come out as through the simulator itself: the same
// status lines, the same metafile to the byte, the same text files. When an interface fails, the
// driver's own reason reaches the status list before the fatal boxes.
#include <gtest/gtest.h>

#include <QPushButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/support_window.h"
#include "app/window/radio_group.h"
#include "prologix/support_driver.h"
#include "prologix/support_fake_adapter.h"
#include "scope/gpib_driver.h"
#include "scope/scope_link.h"
#ifdef HP_VXI11_LIBRARY_PATH
#include "vxi11/support_driver.h"
#include "vxi11/support_fake_gateway.h"
#endif

namespace {

namespace fs = std::filesystem;

// What the operator ends up with after one session.
struct SessionResult {
    std::vector<std::string> status;
    std::string metafile;
    std::string waveform1, fft1, waveform2;
};

std::string Bytes_of(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class InterfacesTest : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
    const fs::path dir = home.dir;

    void SetUp() override {
        // Channel 2 sends words, channel 1 bytes, both with noise: every byte value may occur.
        sim.set("HP_SIM_CH2_FORMAT", "2");
        sim.set("HP_SIM_NOISE", "0.05");
    }
    void TearDown() override {}

    // A fresh window with GPIB_LIBRARY at the given driver: channel 1 "Waveform + FFT",
    // channel 2 "Waveform", then every output format, then Quit.
    SessionResult Session(const std::string& library) {
        WindowTest::SetUp();
        setenv("GPIB_LIBRARY", library.c_str(), 1);
        click(form->RadioGroup1->button(2));
        click(form->RadioGroup2->button(0));
        choose_output(0);
        click(form->Button4);
        choose_output(2);
        click(form->Button4);
        SessionResult r{status_lines(), Bytes_of(dir / "vistrel.wmf"),
                        Bytes_of(dir / "junk" / "waveform1_data.dat"),
                        Bytes_of(dir / "junk" / "fft1_data.dat"),
                        Bytes_of(dir / "junk" / "waveform2_data.dat")};
        for (const auto& box : recorded.platform.boxes) {
            EXPECT_TRUE(box.text == "OK: metafile vistrel.wmf created." ||
                        box.text == "Data files successfully written")
                << box.text;
        }
        recorded.platform.boxes.clear();
        click(form->Button2);
        WindowTest::TearDown();
        fs::remove(dir / "vistrel.wmf");
        for (const auto& f : fs::directory_iterator(dir / "junk")) fs::remove(f.path());
        return r;
    }
};

TEST_F(InterfacesTest, EveryDriverGivesTheSimulatorsDisplaysAndOutputs) {
    const SessionResult direct = Session(std::getenv("HP_SIM_LIBRARY"));
    ASSERT_GT(direct.metafile.size(), 10000u);
    ASSERT_GT(direct.waveform2.size(), 1000u);
    ASSERT_FALSE(direct.fft1.empty());

    struct Case {
        const char* name;
        std::function<SessionResult()> run;
    };
    const std::string prologix = prologix_test::Library_path();
    const auto through_adapter = [&](fake_adapter::Dialect d, fake_adapter::Transport t) {
        fake_adapter::SimulatedScope instrument;
        fake_adapter::FakeAdapter adapter({d, t}, instrument);
        setenv("PROLOGIX_PORT", adapter.port().c_str(), 1);
        SessionResult r = Session(prologix);
        unsetenv("PROLOGIX_PORT");
        return r;
    };
    std::vector<Case> cases = {
        {"Prologix GPIB-USB",
         [&] {
             return through_adapter(fake_adapter::Dialect::prologix, fake_adapter::Transport::pty);
         }},
        {"AR488 on WiFi",
         [&] {
             return through_adapter(fake_adapter::Dialect::ar488, fake_adapter::Transport::tcp);
         }},
    };
#ifdef HP_VXI11_LIBRARY_PATH
    const auto through_gateway = [&](bool ask_portmapper) {
        fake_vxi11::FakeGateway gateway;
        const std::string portmapper = std::to_string(gateway.portmapper_port());
        setenv("VXI11_HOST", ask_portmapper ? "127.0.0.1" : gateway.host_with_port().c_str(), 1);
        setenv("VXI11_PORTMAPPER_PORT", portmapper.c_str(), 1);
        SessionResult r = Session(vxi11_test::Driver_path());
        unsetenv("VXI11_HOST");
        unsetenv("VXI11_PORTMAPPER_PORT");
        return r;
    };
    cases.push_back({"VXI-11 gateway, core port given", [&] { return through_gateway(false); }});
    cases.push_back(
        {"VXI-11 gateway, through its portmapper", [&] { return through_gateway(true); }});
#endif
#ifdef HP_VISA_LIBRARY_PATH
    cases.push_back({"VISA driver with the fake VISA", [&] {
                         setenv("VISA_LIBRARY", HP_FAKE_VISA_PATH, 1);
                         setenv("VISA_RESOURCE", "USB0::0x03EB::0x2065::FAKE1::INSTR", 1);
                         SessionResult r = Session(HP_VISA_LIBRARY_PATH);
                         unsetenv("VISA_LIBRARY");
                         unsetenv("VISA_RESOURCE");
                         return r;
                     }});
#endif
#ifdef HP_USBTMC_FAKE_KERNEL_LIBRARY_PATH
    cases.push_back({"USBTMC driver with the fake kernel", [&] {
                         setenv("USBTMC_DEVICE", "/dev/usbtmc0", 1);
                         SessionResult r = Session(HP_USBTMC_FAKE_KERNEL_LIBRARY_PATH);
                         unsetenv("USBTMC_DEVICE");
                         return r;
                     }});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SessionResult r = c.run();
        EXPECT_EQ(r.status, direct.status);
        EXPECT_TRUE(r.metafile == direct.metafile) << "metafiles differ";
        EXPECT_TRUE(r.waveform1 == direct.waveform1) << "waveform1_data.dat differs";
        EXPECT_TRUE(r.fft1 == direct.fft1) << "fft1_data.dat differs";
        EXPECT_TRUE(r.waveform2 == direct.waveform2) << "waveform2_data.dat differs";
    }
}

std::string Unused_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return std::to_string(ntohs(address.sin_port));
}

// The connection's opening fails: the driver's words and the usual remedy in one status line
// after "Bringing scope online..." (none when the driver said nothing), then exactly the
// specified boxes, and the program stopped. A library that cannot be loaded is named, with why.
TEST(DriverReason, ShownInTheStatusListBeforeTheBoxes) {
    testing_support::ScratchHome home;
    const std::string unused = Unused_port();
    const std::string missing = (home.dir / "no-such-driver.so").string();
    const struct {
        const char* meaning;
        std::string library;
        std::vector<std::pair<const char*, std::string>> settings;
        std::vector<std::string> said;  // in the one line between; empty: no line
        const char* first_box;
    } rows[] = {
        {"adapter's port missing",
         prologix_test::Library_path(),
         {{"PROLOGIX_PORT", "/dev/hp54200a-no-such-port"}},
         {"/dev/hp54200a-no-such-port: No such file or directory",
          ". Is the adapter plugged in at /dev/hp54200a-no-such-port?"},
         "Unable to open device  ibsta = $8100"},
#ifdef HP_VXI11_LIBRARY_PATH
        {"gateway stopped",
         vxi11_test::Driver_path(),
         {{"VXI11_HOST", "127.0.0.1:" + unused}},
         {"libgpib_vxi11: create_link: connect: Connection refused. Is the gateway on the "
          "network at 127.0.0.1, and is \"gpib0,5\" its name"},
         "Unable to open device  ibsta = $8100  iberr = 7"},
#endif
        {"simulator says nothing",
         std::getenv("HP_SIM_LIBRARY"),
         {{"HP_SIM_FAIL_IBDEV", "1"}},
         {},
         "Unable to open device"},
        {"no library",
         missing,
         {},
         {"The GPIB driver library " + missing +
          " (from GPIB_LIBRARY) cannot be loaded: " + missing + ": cannot open shared object file"},
         "LoadLibrary FAILED!"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.meaning);
        testing_support::RecordedPlatform recorded;
        setenv("GPIB_LIBRARY", row.library.c_str(), 1);
        for (const auto& [name, value] : row.settings) setenv(name, value.c_str(), 1);
        EXPECT_THROW(scope::initialize_hp54200A(), platform::ProgramStopped);
        for (const auto& [name, value] : row.settings) unsetenv(name);
        unsetenv("GPIB_LIBRARY");
        const std::vector<std::string>& lines = recorded.status.lines;
        const bool loaded = row.first_box != std::string("LoadLibrary FAILED!");
        const std::size_t before = loaded ? 1 : 0;  // "Bringing scope online..."
        ASSERT_EQ(lines.size(), before + (row.said.empty() ? 0 : 1));
        for (const std::string& words : row.said)
            EXPECT_NE(lines.back().find(words), std::string::npos) << lines.back();
        const auto& boxes = recorded.platform.boxes;
        ASSERT_EQ(boxes.size(), loaded ? 4u : 1u);
        EXPECT_EQ(boxes[0].text.rfind(row.first_box, 0), 0u) << boxes[0].text;
        EXPECT_FALSE(scope::Gpib_library_loaded());
    }
}

}  // namespace
