// What the driver reports when things go wrong: bad arguments and descriptors, a gateway that
// cannot be found or reached, VXI-11 errors in replies, time-outs, and a gateway that goes away
// in the middle of a read. None of them may hang or end the program.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "support_driver.h"

namespace {

using namespace vxi11_test;
using fake_vxi11::Behaviour;
using Clock = std::chrono::steady_clock;

// A loopback port nobody listens on (it was free a moment ago).
uint16_t Unused_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

long Elapsed_ms(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST_F(GatewayTest, BadArgumentsDescriptorsAndBoardCalls) {
    struct Case {
        int pad;
        int sad;
        int tmo;
    };
    for (const Case& c : {Case{31, 0, 12}, Case{-1, 0, 12}, Case{5, 0x5F, 12}, Case{5, 0x7F, 12},
                          Case{5, 1, 12}, Case{5, 0, 18}}) {
        SCOPED_TRACE(std::to_string(c.pad) + " " + std::to_string(c.sad));
        EXPECT_EQ(driver.ibdev(0, c.pad, c.sad, c.tmo, 1, 0), -1);
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, kEarg);
    }
    EXPECT_TRUE(gateway.link_names().empty());  // refused before any traffic

    const int ud = driver.open();
    ASSERT_EQ(driver.ibonl(ud, 0), kCmpl);
    // The program calls ibonl(-1, 0) after a failed ibdev.
    for (const int bad : {ud, -1, 0, 99}) {
        EXPECT_EQ(driver.ibonl(bad, 0), kErr | kCmpl) << bad;
        EXPECT_EQ(driver.status().iberr, kEdvr) << bad;
        EXPECT_EQ(driver.ibclr(bad), kErr | kCmpl) << bad;
    }

    for (const char* name : {"DevClear", "FindLstn", "ReadStatusByte", "SendIFC", "WaitSRQ"}) {
        SCOPED_TRACE(name);
        void* entry = dlsym(driver.handle(), name);
        ASSERT_NE(entry, nullptr);
        // All five take the board first; none of them reaches the gateway.
        short results[4] = {};
        const short pads[2] = {5, -1};
        const std::string which = name;
        if (which == "FindLstn") {
            reinterpret_cast<void (*)(int, const short*, short*, int)>(entry)(0, pads, results, 4);
        } else if (which == "SendIFC") {
            reinterpret_cast<void (*)(int)>(entry)(0);
        } else if (which == "WaitSRQ") {
            reinterpret_cast<void (*)(int, short*)>(entry)(0, results);
        } else if (which == "DevClear") {
            reinterpret_cast<void (*)(int, short)>(entry)(0, 5);
        } else {
            reinterpret_cast<void (*)(int, short, short*)>(entry)(0, 5, results);
        }
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, kEcap);
    }
}

TEST_F(GatewayTest, VxiErrorsBecomeDriverErrorsWithOneLineEach) {
    struct Case {
        const char* call;
        long error;
        int status;
        int iberr;
        const char* line;
    };
    const Case cases[] = {
        {"create", 3, kErr | kCmpl, kEneb, "VXI-11 error 3 (device not accessible)"},
        {"create", 9, kErr | kCmpl, kEneb, "VXI-11 error 9 (out of resources)"},
        {"create", 21, kErr | kCmpl, kEarg, "VXI-11 error 21 (invalid address)"},
        {"create", 5, kErr | kCmpl, kEarg, "VXI-11 error 5 (parameter error)"},
        {"create", 8, kErr | kCmpl, kEcap, "VXI-11 error 8 (operation not supported)"},
        {"create", 11, kErr | kCmpl, kEdvr, "VXI-11 error 11 (device locked by another link)"},
        {"write", 17, kErr | kCmpl, kEnol, "device_write: VXI-11 error 17 (I/O error)"},
        {"write", 15, kErr | kTmo | kCmpl, kEabo, "VXI-11 error 15 (I/O timeout)"},
        {"write", 23, kErr | kCmpl, kEabo, "VXI-11 error 23 (abort)"},
        {"read", 17, kErr | kCmpl, kEabo, "device_read: VXI-11 error 17 (I/O error)"},
        {"read", 4, kErr | kCmpl, kEdvr, "VXI-11 error 4 (invalid link identifier)"},
    };
    for (const Case& c : cases) {
        const std::string call = c.call;
        SCOPED_TRACE(call + " " + std::to_string(c.error));
        Behaviour b;
        (call == "create"  ? b.create_error
         : call == "write" ? b.write_error
                           : b.read_error) = c.error;
        gateway.set_behaviour(b);
        testing::internal::CaptureStderr();
        const int ud = driver.open();
        std::string got;
        Status s = driver.status();
        if (call == "write") {
            s = driver.write(ud, "ID ?");
        } else if (call == "read") {
            s = driver.read(ud, 100, got);
        }
        const std::string lines = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ud == -1, call == "create");
        EXPECT_EQ(s.ibsta, c.status);
        EXPECT_EQ(s.iberr, c.iberr);
        EXPECT_NE(lines.find(c.line), std::string::npos) << lines;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
        if (ud > 0) {
            driver.ibonl(ud, 0);
        }
    }
}

TEST_F(GatewayTest, UnknownDeviceNames) {
    struct Case {
        const char* name;
        int iberr;
    };
    for (const Case& c : {Case{"gpib0,7", kEneb}, Case{"gpib1,5", kEneb}, Case{"hpib,5", kEarg},
                          Case{"gpib0,31", kEarg}}) {
        SCOPED_TRACE(c.name);
        setenv("VXI11_DEVICE", c.name, 1);
        EXPECT_EQ(driver.open(), -1);
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, c.iberr);
    }
    EXPECT_EQ(gateway.open_links(), 0);
}

TEST_F(GatewayTest, IoTimeOutKeepsThePartialCount) {
    Behaviour b;
    b.stall_after = 700;  // the instrument falls silent after 700 bytes
    b.packet_size = 300;
    gateway.set_behaviour(b);
    const int ud = driver.open(5, 10);  // T300ms
    gateway.set_reply(std::string(2000, 'w'));
    std::string got;
    const auto start = Clock::now();
    const Status s = driver.read(ud, 2000, got);
    EXPECT_EQ(s.ibsta, kErr | kTmo | kCmpl);
    EXPECT_EQ(s.iberr, kEabo);
    EXPECT_EQ(s.ibcnt, 700);
    EXPECT_EQ(got, std::string(700, 'w'));
    EXPECT_GE(Elapsed_ms(start), 250);
    EXPECT_LT(Elapsed_ms(start), 1500);
    // Every request carries the time still left of the 300 ms.
    const auto reads = gateway.reads();
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[0].io_timeout, 300u);
    EXPECT_LE(reads[3].io_timeout, 300u);
    EXPECT_EQ(reads[3].request_size, 1300u);
    // The link is still good.
    gateway.set_reply("more\r\n");
    EXPECT_EQ(driver.read(ud, 10, got).ibsta, kCmpl | kEnd);
}

TEST_F(GatewayTest, SilentGatewayEndsTheCallAfterTheIoTimeOutAndTwoSeconds) {
    Behaviour b;
    b.reply_delay_ms = 2600;
    const int ud = driver.open(5, 7);  // T10ms: the client gives up after 2.01 s
    gateway.set_behaviour(b);
    const auto start = Clock::now();
    const Status s = driver.write(ud, "ID ?");
    EXPECT_EQ(s.ibsta, kErr | kTmo | kCmpl);
    EXPECT_EQ(s.iberr, kEabo);
    EXPECT_GE(Elapsed_ms(start), 2000);
    EXPECT_LT(Elapsed_ms(start), 2500);
    // The connection is closed: the link is dead.
    EXPECT_EQ(driver.write(ud, "ID ?").iberr, kEdvr);
    EXPECT_EQ(driver.ibonl(ud, 0), kCmpl);
}

TEST_F(GatewayTest, GatewayGoingAwayMidReadNeitherHangsNorKills) {
    Behaviour b;
    b.packet_size = 100;
    b.vanish_after_reads = 2;  // two answers, then the connections are dropped
    gateway.set_behaviour(b);
    const int ud = driver.open();
    gateway.set_reply(std::string(1000, 'r'));
    std::string got;
    const auto start = Clock::now();
    const Status s = driver.read(ud, 1000, got);
    EXPECT_EQ(s.ibsta, kErr | kCmpl);
    EXPECT_EQ(s.iberr, kEdvr);
    EXPECT_EQ(s.ibcnt, 200);
    EXPECT_EQ(driver.ibonl(ud, 0), kCmpl);
    EXPECT_LT(Elapsed_ms(start), 1000);
}

TEST_F(GatewayTest, GatewayGoneBeforeALongWrite) {
    // A write spanning several socket writes meets the reset of the closed connection: the
    // second socket write raises SIGPIPE, which must not end the test program.
    Behaviour b;
    b.max_recv_size = 1 << 20;
    gateway.set_behaviour(b);
    const int ud = driver.open();
    gateway.drop_connections();
    const Status s = driver.write(ud, std::string(400000, 'p'));
    EXPECT_EQ(s.ibsta, kErr | kCmpl);
    EXPECT_EQ(s.iberr, kEdvr);
    EXPECT_EQ(driver.ibonl(ud, 0), kCmpl);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

TEST(GatewayAddress, NoGatewayThereGivesEneb) {
    struct Case {
        const char* host;
        const char* portmapper_port;
    };
    fake_vxi11::FakeGateway gateway;
    const std::string unused = std::to_string(Unused_port());
    const std::string refused = "127.0.0.1:" + unused;
    const Case cases[] = {
        {nullptr, nullptr},                    // unset
        {"", nullptr},                         // empty
        {"no-such-gateway.invalid", nullptr},  // unresolvable
        {"127.0.0.1:notaport", nullptr},       // bad port
        {"127.0.0.1:", nullptr},               // no port
        {refused.c_str(), nullptr},            // nothing listens at the core channel's port
        {"127.0.0.1", unused.c_str()},         // nor at the portmapper's, by TCP or UDP
    };
    Driver driver;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host == nullptr ? "(unset)" : c.host);
        Clear_settings();
        if (c.host != nullptr) {
            setenv("VXI11_HOST", c.host, 1);
        }
        if (c.portmapper_port != nullptr) {
            setenv("VXI11_PORTMAPPER_PORT", c.portmapper_port, 1);
        }
        const auto start = Clock::now();
        EXPECT_EQ(driver.open(), -1);
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, kEneb);
        EXPECT_LT(Elapsed_ms(start), 8000);
    }
    Clear_settings();
    EXPECT_TRUE(gateway.link_names().empty());
}

}  // namespace
