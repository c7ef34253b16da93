// What the driver reports when things go wrong: bad arguments and descriptors, VXI-11 errors in
// replies, time-outs, a gateway that goes away, and a gateway that cannot be found. None of
// them may hang or end the program.
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>

#include "support_driver.h"

namespace {

using namespace vxi11_test;
using Clock = std::chrono::steady_clock;

long Ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A loopback port nobody listens on (it was free a moment ago).
uint16_t Unused_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

TEST_F(GatewayTest, BadArgumentsDescriptorsAndBoardCalls) {
    // pad above 30, sad neither 0 nor 0x60..0x7E, no such time-out code: refused unsent.
    for (const std::array<int, 3> a : {std::array{31, 0, 12}, std::array{5, 0x5F, 12},
                                       std::array{5, 0x7F, 12}, std::array{5, 0, 18}}) {
        EXPECT_EQ(driver.ibdev(0, a[0], a[1], a[2], 1, 0), -1);
        EXPECT_EQ(driver.iberr(), kEarg);
    }
    EXPECT_TRUE(gateway.link_names().empty());
    ASSERT_EQ(driver.ibonl(driver.open(), 0), kCmpl);
    for (const int ud : {1, -1, 0, 99}) {  // ibonl(-1, 0) follows a failed ibdev
        EXPECT_EQ(driver.ibonl(ud, 0), kErr | kCmpl);
        EXPECT_EQ(driver.iberr(), kEdvr);
    }
    short s[2] = {5, -1};
    const std::pair<const char*, void (*)(void*, short*)> board_calls[] = {
        {"DevClear", [](void* f, short*) { reinterpret_cast<void (*)(int, short)>(f)(0, 5); }},
        {"FindLstn",
         [](void* f, short* r) {
             reinterpret_cast<void (*)(int, const short*, short*, int)>(f)(0, r, r, 1);
         }},
        {"ReadStatusByte",
         [](void* f, short* r) { reinterpret_cast<void (*)(int, short, short*)>(f)(0, 5, r); }},
        {"SendIFC", [](void* f, short*) { reinterpret_cast<void (*)(int)>(f)(0); }},
        {"WaitSRQ", [](void* f, short* r) { reinterpret_cast<void (*)(int, short*)>(f)(0, r); }}};
    for (const auto& [name, call] : board_calls) {
        call(driver.entry(name), s);
        EXPECT_EQ(driver.ibsta(), kErr | kCmpl) << name;
        EXPECT_EQ(driver.iberr(), kEcap) << name;
    }
    EXPECT_EQ(gateway.link_names().size(), 1u);
}

TEST_F(GatewayTest, VxiErrorsBecomeDriverErrorsWithOneLineEach) {
    struct Case {
        char call;  // c create_link, w device_write, r device_read
        long error;
        int status;
        int iberr;
        const char* line;
    } const cases[] = {
        {'c', 3, kErr | kCmpl, kEneb, "create_link: VXI-11 error 3 (device not accessible)"},
        {'c', 9, kErr | kCmpl, kEneb, "VXI-11 error 9 (out of resources)"},
        {'c', 21, kErr | kCmpl, kEarg, "VXI-11 error 21 (invalid address)"},
        {'c', 5, kErr | kCmpl, kEarg, "VXI-11 error 5 (parameter error)"},
        {'c', 8, kErr | kCmpl, kEcap, "VXI-11 error 8 (operation not supported)"},
        {'c', 11, kErr | kCmpl, kEdvr, "VXI-11 error 11 (device locked by another link)"},
        {'w', 17, kErr | kCmpl, kEnol, "device_write: VXI-11 error 17 (I/O error)"},
        {'w', 15, kErr | kTmo | kCmpl, kEabo, "VXI-11 error 15 (I/O timeout)"},
        {'w', 23, kErr | kCmpl, kEabo, "VXI-11 error 23 (abort)"},
        {'r', 17, kErr | kCmpl, kEabo, "device_read: VXI-11 error 17 (I/O error)"},
        {'r', 4, kErr | kCmpl, kEdvr, "VXI-11 error 4 (invalid link identifier)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        gateway.set_behaviour({.create_error = c.call == 'c' ? c.error : 0,
                               .write_error = c.call == 'w' ? c.error : 0,
                               .read_error = c.call == 'r' ? c.error : 0});
        testing::internal::CaptureStderr();
        const int ud = driver.open();
        std::string got;
        const Status s = c.call == 'w'   ? driver.write(ud, "ID ?")
                         : c.call == 'r' ? driver.read(ud, 100, got)
                                         : driver.status();
        const std::string lines = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ud == -1, c.call == 'c');
        EXPECT_EQ(s.ibsta, c.status);
        EXPECT_EQ(s.iberr, c.iberr);
        EXPECT_NE(lines.find(c.line), std::string::npos) << lines;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
        driver.ibonl(ud, 0);
    }
}

TEST_F(GatewayTest, UnknownDeviceNames) {
    for (const auto& [name, iberr] :
         {std::pair{"gpib0,7", kEneb}, std::pair{"gpib1,5", kEneb}, std::pair{"hpib,5", kEarg}}) {
        setenv("VXI11_DEVICE", name, 1);
        EXPECT_EQ(driver.open(), -1) << name;
        EXPECT_EQ(driver.status().iberr, iberr) << name;
    }
    EXPECT_EQ(gateway.open_links(), 0);
}

TEST_F(GatewayTest, IoTimeOutKeepsThePartialCount) {
    // 700 bytes in packets of 300, then the instrument falls silent.
    gateway.set_behaviour({.packet_size = 300, .stall_after = 700});
    const int ud = driver.open(5, 10);  // T300ms
    gateway.set_reply(std::string(2000, 'w'));
    std::string got;
    const auto start = Clock::now();
    const Status s = driver.read(ud, 2000, got);
    EXPECT_EQ(s.ibsta, kErr | kTmo | kCmpl);
    EXPECT_EQ(s.iberr, kEabo);
    EXPECT_EQ(got, std::string(700, 'w'));
    EXPECT_TRUE(Ms_since(start) >= 250 && Ms_since(start) < 1000) << Ms_since(start);
    const auto reads = gateway.reads();  // each asks for the rest, with the time left
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[0].io_timeout, 300u);
    EXPECT_EQ(reads[3].request_size, 1300u);
    EXPECT_LE(reads[3].io_timeout, 300u);
    gateway.set_reply("more\r\n");
    EXPECT_EQ(driver.read(ud, 10, got).ibsta, kCmpl | kEnd);  // the link is still good
}

TEST_F(GatewayTest, GatewayThatDoesNotAnswerIsGivenUpOneSecondAfterTheIoTimeOut) {
    const int ud = driver.open(5, 7);  // T10ms
    gateway.set_behaviour({.reply_delay_ms = 1600});
    const auto start = Clock::now();
    EXPECT_EQ(driver.write(ud, "ID ?").ibsta, kErr | kTmo | kCmpl);
    EXPECT_EQ(driver.iberr(), kEabo);
    EXPECT_TRUE(Ms_since(start) >= 1000 && Ms_since(start) < 1500) << Ms_since(start);
    EXPECT_EQ(driver.write(ud, "ID ?").iberr, kEdvr);  // the connection is closed
    EXPECT_EQ(driver.ibonl(ud, 0), kCmpl);
}

TEST_F(GatewayTest, GatewayGoingAwayNeitherHangsNorKills) {
    // Mid-read: two answers of 100 bytes, then the connection is dropped. Before a long write:
    // its second socket write meets the reset connection and raises SIGPIPE.
    for (const bool mid_read : {true, false}) {
        SCOPED_TRACE(mid_read);
        gateway.set_behaviour(
            mid_read ? fake_vxi11::Behaviour{.packet_size = 100, .vanish_after_reads = 2}
                     : fake_vxi11::Behaviour{.max_recv_size = 1 << 20});
        const int ud = driver.open();
        gateway.set_reply(std::string(1000, 'r'));
        std::string got;
        const auto start = Clock::now();
        if (!mid_read) {
            gateway.drop_connections();
        }
        const Status s =
            mid_read ? driver.read(ud, 1000, got) : driver.write(ud, std::string(400000, 'w'));
        EXPECT_EQ(s.ibsta, kErr | kCmpl);
        EXPECT_EQ(s.iberr, kEdvr);
        EXPECT_EQ(s.ibcnt, mid_read ? 200 : 0);
        EXPECT_EQ(driver.ibonl(ud, 0), kCmpl);
        EXPECT_LT(Ms_since(start), 1000);
        sigset_t pending;
        sigpending(&pending);
        EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    }
}

TEST(GatewayAddress, NoGatewayThereGivesEneb) {
    fake_vxi11::FakeGateway gateway;
    const std::string unused = std::to_string(Unused_port());
    const std::string refused = "127.0.0.1:" + unused;
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, nullptr},                    // VXI11_HOST unset
        {"no-such-gateway.invalid", nullptr},  // unresolvable
        {"127.0.0.1:notaport", nullptr},
        {refused.c_str(), nullptr},     // nothing listens at the core channel's port
        {"127.0.0.1", unused.c_str()},  // nor at the portmapper's, by TCP or UDP
    };
    Driver driver;
    for (const auto& [host, portmapper_port] : cases) {
        SCOPED_TRACE(host == nullptr ? "(unset)" : host);
        Clear_settings();
        host != nullptr ? setenv("VXI11_HOST", host, 1) : 0;
        portmapper_port != nullptr ? setenv("VXI11_PORTMAPPER_PORT", portmapper_port, 1) : 0;
        const auto start = Clock::now();
        EXPECT_EQ(driver.open(), -1);
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, kEneb);
        EXPECT_LT(Ms_since(start), 7000);
    }
    Clear_settings();
    EXPECT_TRUE(gateway.link_names().empty());
}

}  // namespace
