// Resource strings: each accepted form with the driver settings it maps to and its canonical
// text (which reads back to the same settings and is what the environment shows as in use), and
// the refused forms with their reasons; then Find the scope and Test through the simulated scope
// standing at another address than the factory's.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "portable.h"
#include "scope/probe.h"
#include "scope/resource.h"
#include "scope/support_sim_link.h"
#include "sim_harness.h"

namespace {

using Map = std::map<std::string, std::string>;

Map As_map(const scope::Settings& settings) {
    return Map(settings.begin(), settings.end());
}

std::string Locate(const std::string& file) {
    return "/drivers/" + file;
}

// Serial ports, named as the system names them.
const std::string usb_port = portable::windows ? "COM3" : "/dev/ttyUSB0";
const std::string acm_port = portable::windows ? "\\\\.\\COM10" : "/dev/ttyACM1";

TEST(ResourceStrings, AcceptedFormsMapToTheirDriverSettings) {
    struct Case {
        std::string text;
        std::optional<int> address;  // --address
        std::string canonical;
        Map settings;
    };
    // USB resources go through VISA on Windows, through the kernel's usbtmc driver on Linux.
    const std::string usb = "USB0::0x03EB::0x2065::SER1::INSTR";
    const Map usb_settings = portable::windows ? Map{{"GPIB_LIBRARY", "/drivers/libgpib_visa.so"},
                                                     {"GPIB_BOARD", "0"},
                                                     {"GPIB_ADDRESS", "5"},
                                                     {"VISA_RESOURCE", usb}}
                                               : Map{{"GPIB_LIBRARY", "/drivers/libgpib_usbtmc.so"},
                                                     {"GPIB_BOARD", "0"},
                                                     {"GPIB_ADDRESS", "5"},
                                                     {"USBTMC_DEVICE", usb}};
    std::vector<Case> cases = {
        {"VISA::GPIB0::7::INSTR",
         9,
         "VISA::GPIB0::7::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_visa.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "7"},
          {"VISA_RESOURCE", "GPIB0::7::INSTR"}}},
        {"visa::TCPIP0::gw.lab::gpib0,5::INSTR",
         {},
         "VISA::TCPIP0::gw.lab::gpib0,5::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_visa.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "5"},
          {"VISA_RESOURCE", "TCPIP0::gw.lab::gpib0,5::INSTR"}}},
        {"VISA::USB0::0x03EB::0x2065::SER1::0::INSTR",
         {},
         "VISA::USB0::0x03EB::0x2065::SER1::0::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_visa.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "5"},
          {"VISA_RESOURCE", "USB0::0x03EB::0x2065::SER1::0::INSTR"}}},
        {usb, {}, portable::windows ? "VISA::" + usb : usb, usb_settings},
        {"GPIB0::5::INSTR",
         {},
         "GPIB0::5::INSTR",
         {{"GPIB_LIBRARY", ""}, {"GPIB_BOARD", "0"}, {"GPIB_ADDRESS", "5"}}},
        {"gpib2::17",
         {},
         "GPIB2::17::INSTR",
         {{"GPIB_LIBRARY", ""}, {"GPIB_BOARD", "2"}, {"GPIB_ADDRESS", "17"}}},
        {"TCPIP0::192.168.1.40::gpib0,5::INSTR",
         9,
         "TCPIP0::192.168.1.40::gpib0,5::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_vxi11.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "5"},
          {"VXI11_HOST", "192.168.1.40"},
          {"VXI11_DEVICE", "gpib0,5"}}},
        {"TCPIP::gw.lab:1234::hpib,7",
         {},
         "TCPIP0::gw.lab:1234::hpib,7::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_vxi11.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "7"},
          {"VXI11_HOST", "gw.lab:1234"},
          {"VXI11_DEVICE", "hpib,7"}}},
        {"TCPIP0::10.0.0.2::INSTR",
         3,
         "TCPIP0::10.0.0.2::inst0::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_vxi11.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "5"},
          {"VXI11_HOST", "10.0.0.2"},
          {"VXI11_DEVICE", "inst0"}}},
        {"PRLGX-ASRL::" + usb_port + "::INTFC",
         9,
         "PRLGX-ASRL::" + usb_port + "::9::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_prologix.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "9"},
          {"PROLOGIX_PORT", usb_port}}},
        {"PRLGX-ASRL::" + acm_port + "::INTFC",
         {},
         "PRLGX-ASRL::" + acm_port + "::5::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_prologix.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "5"},
          {"PROLOGIX_PORT", acm_port}}},
        {"prlgx-tcpip::192.168.1.50::INTFC",
         {},
         "PRLGX-TCPIP::192.168.1.50::5::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_prologix.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "5"},
          {"PROLOGIX_PORT", "192.168.1.50"}}},
        {"PRLGX-TCPIP::ar488.lab::2000::12::INSTR",
         9,
         "PRLGX-TCPIP::ar488.lab::2000::12::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_prologix.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "12"},
          {"PROLOGIX_PORT", "ar488.lab:2000"}}},
        {"TCPIP16::gw.lab::gpib0,5::INSTR",  // any LAN board number, as VISA takes it
         {},
         "TCPIP0::gw.lab::gpib0,5::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libgpib_vxi11.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "5"},
          {"VXI11_HOST", "gw.lab"},
          {"VXI11_DEVICE", "gpib0,5"}}},
        {"sim::5::instr",  // keywords in lower case
         {},
         "SIM::5::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libhp54200a_sim.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "5"}}},
        {"SIM::9::INSTR",
         {},
         "SIM::9::INSTR",
         {{"GPIB_LIBRARY", "/drivers/libhp54200a_sim.so"},
          {"GPIB_BOARD", "0"},
          {"GPIB_ADDRESS", "9"}}},
    };
    if (!portable::windows)
        cases.push_back({"USBTMC::/dev/usbtmc1::INSTR",
                         {},
                         "USBTMC::/dev/usbtmc1::INSTR",
                         {{"GPIB_LIBRARY", "/drivers/libgpib_usbtmc.so"},
                          {"GPIB_BOARD", "0"},
                          {"GPIB_ADDRESS", "5"},
                          {"USBTMC_DEVICE", "/dev/usbtmc1"}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const scope::ResourceReading r = scope::Parse_resource(c.text, c.address);
        ASSERT_TRUE(r.resource) << r.refusal;
        EXPECT_EQ(scope::Resource_text(*r.resource), c.canonical);
        EXPECT_EQ(As_map(scope::Driver_settings(*r.resource, Locate)), c.settings);
        // The canonical text reads back alike, and the environment it makes shows it as in use.
        const scope::ResourceReading back = scope::Parse_resource(c.canonical);
        ASSERT_TRUE(back.resource);
        EXPECT_EQ(As_map(scope::Driver_settings(*back.resource, Locate)), c.settings);
        for (const auto& [name, value] : c.settings)
            platform::Set_environment_variable(name, value);
        if (c.settings.count("VXI11_DEVICE") == 0)
            platform::Unset_environment_variable("VXI11_DEVICE");
        EXPECT_EQ(scope::Resource_in_environment(), c.canonical);
    }
    for (const char* name : {"GPIB_LIBRARY", "GPIB_BOARD", "GPIB_ADDRESS", "PROLOGIX_PORT",
                             "VXI11_HOST", "VXI11_DEVICE", "VISA_RESOURCE", "USBTMC_DEVICE"})
        platform::Unset_environment_variable(name);
}

TEST(ResourceStrings, RefusedFormsQuoteTheStringAndShowTheAcceptedForms) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "it is empty"},
        {"ASRL3::INSTR", "names no interface"},
        {"GPIB0::5::96::INSTR", "no secondary address"},
        {"GPIB0::31::INSTR", "\"31\" is not a primary address from 0 to 30"},
        {"GPIB16::5::INSTR", "board number from 0 to 15"},
        {"GPIB0::INSTR", "give the board and the scope's primary address"},
        {"TCPIP0::host:99999::gpib0,5::INSTR", "optional port from 1 to 65535"},
        {"TCPIP0::host:0::gpib0,5::INSTR", "optional port from 1 to 65535"},
        {"PRLGX-ASRL::ttyUSB0::INTFC",
         portable::windows ? "a COM port, such as COM3" : "device path, such as /dev/ttyUSB0"},
        {"PRLGX-ASRL::" + usb_port, "end an adapter's string with ::INTFC"},
        {"PRLGX-TCPIP::host::65536::INTFC", "\"65536\" is not a TCP port"},
        {"PRLGX-ASRL::" + usb_port + "::31::INSTR", "\"31\" is not a primary address"},
        {"SIM::x::INSTR", "\"x\" is not a primary address"},
        {"TCPIPX::gw.lab::inst0", "\"TCPIPX\" is not an interface name"},
        {"TCPIP0::gw.lab::gpib0, 5::INSTR", "\"gpib0, 5\" is not a LAN device name"},
        {"TCPIP0::127.0.0.1:::gpib0,5::INSTR", "\":gpib0,5\" is not a LAN device name"},
        {"VISA::", "give a VISA resource after VISA::"},
        {"VISA::GPIB0", "give a VISA resource after VISA::"},
        {"USB0::0x03EB::0x2065::INSTR", "give the adapter's vendor and product numbers"},
        {"USB0::0xZZZZ::0x2065::SER1::INSTR", "give the adapter's vendor and product numbers"},
        {"USB0::0x03EB::0x2065::SER1::INTFC", "give the adapter's vendor and product numbers"},
        {"USB0::0x03EB::0x2065::SER1::300::INSTR", "give the adapter's vendor and product numbers"},
        {"USBTMC::usbtmc0::INSTR",
         portable::windows ? "USBTMC device nodes are Linux's" : "give the adapter's device node"},
    };
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text);
        const scope::ResourceReading r = scope::Parse_resource(text);
        EXPECT_FALSE(r.resource);
        EXPECT_EQ(r.refusal.rfind("\"" + text + "\" is not a resource", 0), 0u) << r.refusal;
        EXPECT_NE(r.refusal.find(reason), std::string::npos) << r.refusal;
        EXPECT_NE(r.refusal.find(scope::Resource_forms()), std::string::npos);
    }
}

// The simulated scope set to address 9: Find looks at every address through the simulator's
// listener search and picks 9; Test at 9 reads its identity; each leaves every device it opened
// offline and the driver library released.
TEST(FindTheScope, FindsTheSimulatedScopeAtAnotherAddress) {
    sim_harness::SimHarness sim({{"HP_SIM_ADDRESS", "9"}});
    const std::string library = testing_support::Simulator_path();
    const scope::LibraryLocator locate = [&](const std::string&) { return library; };
    scope::Resource resource = *scope::Parse_resource("SIM::5::INSTR").resource;
    std::vector<int> asked;
    const auto start = std::chrono::steady_clock::now();
    const scope::ProbeOutcome found = scope::Find_scope(resource, locate, [&](int a) {
        asked.push_back(a);
        return true;
    });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    ASSERT_TRUE(found.ok) << found.reason;
    EXPECT_EQ(found.scope_address, 9);
    ASSERT_EQ(found.found.size(), 1u);
    EXPECT_EQ(found.found[0].identity, "\"HP54200A\"");

    resource.address = found.scope_address;
    const scope::ProbeOutcome tested = scope::Test_resource(resource, locate);
    EXPECT_TRUE(tested.ok) << tested.reason;
    EXPECT_EQ(tested.identity, "\"HP54200A\"");
    resource.address = 5;
    const scope::ProbeOutcome nobody = scope::Test_resource(resource, locate);
    EXPECT_FALSE(nobody.ok);
    EXPECT_NE(nobody.reason.find("Nothing listens at address 5"), std::string::npos)
        << nobody.reason;

    int open = 0;
    for (const sim_harness::LogEntry& e : sim.log()) {
        if (e.function == "ibdev" && (e.status & 0x8000) == 0)
            ++open;
        if (e.function == "ibonl" && e.args.find("v=0") != std::string::npos)
            --open;
    }
    EXPECT_EQ(open, 0);
    EXPECT_EQ(sim.calls().back(), "unload");
    EXPECT_EQ(std::getenv("GPIB_LIBRARY"), nullptr);  // the try's settings are put back
}

}  // namespace
