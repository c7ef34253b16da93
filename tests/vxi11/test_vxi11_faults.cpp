// What the driver reports when things go wrong: bad arguments and descriptors, VXI-11 errors in
// replies, time-outs, a gateway that goes away, and a gateway that cannot be found. None of
// them may hang or end the program.
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

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
    EXPECT_TRUE(Ms_since(start) >= 900 && Ms_since(start) < 1500) << Ms_since(start);
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

// Faulty gateways: each row's fault must end the call with its status, error and count (and,
// for a read, exactly the instrument's bytes), within the bound (its time-out + 1 s, the
// library's promise), with a line on standard error that says what happened, or none after a
// success. TNONE rows have 1 s. Only the bus calls are timed (the 8 MB to write is built before
// the clock starts), and the bound is checked with room for the scheduler: on a loaded machine
// the test's thread may run late after the library's last wait, which is no fault of the
// library; a call that waited for a second time-out, or for ever, still fails the row.
TEST_F(GatewayTest, FaultyGatewaysNeitherHangNorSpinNorCorrupt) {
    using fake_vxi11::Hostility;
    constexpr int T100ms = 9, T300ms = 10, T1s = 11, TNONE = 0, kReos = 0x400;
    constexpr long kSchedulingMs = 250;
    struct Row {
        const char* fault;
        fake_vxi11::Behaviour behaviour;
        Hostility hostility;
        int tmo, eos;
        std::string reply;         // read with each of `counts` in turn; empty: a write
        std::vector<long> counts;  // the status, error and count are the first call's
        int status, iberr, ibcnt;
        std::string got;   // what the reads return in all
        const char* line;  // on standard error; null: nothing
        long bound_ms;
    } const rows[] = {
        // clang-format off
        {"REQCNT with no data", {.empty_reason = 1}, Hostility::none, T1s, 0, "x", {100},
         kErr | kCmpl, kEdvr, 0, "", "sent 0 of 100 bytes and said the request was filled", 2000},
        {"no data, reason 0", {.empty_reason = 0}, Hostility::none, TNONE, 0, "x", {100},
         kErr | kCmpl, kEdvr, 0, "", "device_read: the gateway sent no data in 4", 1000},
        {"accepts no data", {.accept_limit = -1}, Hostility::none, TNONE, 0, "", {10},
         kErr | kCmpl, kEdvr, 0, "", "device_write: the gateway accepted no data in 4", 1000},
        {"reply trickled", {}, Hostility::trickle, T300ms, 0, "", {4},
         kErr | kTmo | kCmpl, kEabo, 0, "", "RPC: Timed out", 1300},
        {"other xids", {}, Hostility::wrong_xid, T300ms, 0, "", {4},
         kErr | kTmo | kCmpl, kEabo, 0, "", "RPC: Timed out", 1300},
        {"8 MB unread", {}, Hostility::deaf, T300ms, 0, "", {8 << 20},
         kErr | kTmo | kCmpl, kEabo, 0, "", "RPC: Timed out", 1300},
        {"write unanswered", {}, Hostility::deaf, T100ms, 0, "", {3000},
         kErr | kTmo | kCmpl, kEabo, 0, "", "RPC: Timed out", 1100},
        {"maxRecvSize 0", {.max_recv_size = 0}, Hostility::none, T1s, 0, "", {3000},
         kCmpl, 0, 3000, "", nullptr, 2000},
        {"answer after 1.15 s", {.reply_delay_ms = 1150}, Hostility::none, T300ms, 0, "", {4},
         kCmpl, 0, 4, "", nullptr, 1300},
        {"eos 0 and a 0x00", {}, Hostility::none, T1s, 0, std::string("A\0B\r\n", 5), {100},
         kCmpl | kEnd, 0, 5, std::string("A\0B\r\n", 5), nullptr, 2000},
        {"REOS and '\\n'", {}, Hostility::none, T1s, kReos | '\n', "AB\nCD\n", {100},
         kCmpl | kEnd, 0, 3, "AB\n", nullptr, 2000},
        {"END with bytes pending", {.extra_bytes = 10}, Hostility::none, T1s, 0, "ABC\r\n", {2, 10},
         kCmpl, 0, 2, "ABC\r\n", nullptr, 2000},
        // clang-format on
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        std::optional<fake_vxi11::RawGateway> raw;
        if (row.hostility != Hostility::none) {
            setenv("VXI11_HOST", raw.emplace(row.hostility).host_with_port().c_str(), 1);
        }
        fake_vxi11::Behaviour before_open = row.behaviour;
        before_open.reply_delay_ms = 0;
        gateway.set_behaviour(before_open);
        const int ud = driver.ibdev(0, 5, 0, row.tmo, 1, row.eos);
        ASSERT_GT(ud, 0);
        gateway.set_behaviour(row.behaviour);
        gateway.set_reply(row.reply);
        const std::string to_write(row.reply.empty() ? row.counts[0] : 0, 'w');
        std::string got;
        std::string piece;
        testing::internal::CaptureStderr();
        const auto start = Clock::now();
        const Status first =
            row.reply.empty() ? driver.write(ud, to_write) : driver.read(ud, row.counts[0], got);
        for (std::size_t i = 1; i < row.counts.size(); ++i, got += piece) {
            driver.read(ud, row.counts[i], piece);
        }
        const long ms = Ms_since(start);
        const std::string lines = testing::internal::GetCapturedStderr();
        EXPECT_EQ(first.ibsta, row.status);
        EXPECT_EQ(first.iberr, row.iberr);
        EXPECT_EQ(first.ibcnt, row.ibcnt);
        EXPECT_EQ(got, row.got);
        EXPECT_LE(ms, row.bound_ms + kSchedulingMs);
        EXPECT_TRUE(row.line == nullptr ? lines.empty() : lines.find(row.line) != lines.npos)
            << lines;
        driver.ibonl(ud, 0);
        setenv("VXI11_HOST", gateway.host_with_port().c_str(), 1);
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
