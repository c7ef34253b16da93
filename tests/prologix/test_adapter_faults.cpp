// Faults at the adapter driver: an instrument that says nothing, an adapter that goes away under
// a read, an adapter that never answers, and PROLOGIX_PORT settings that cannot work. Each call
// fails the way the driver ABI reports it, within its time-out, and the program's fatal report
// gets the error it names.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <future>
#include <string>
#include <thread>

#include "support_driver.h"
#include "support_fake_adapter.h"

namespace {

using fake_adapter::Dialect;
using fake_adapter::Transport;

constexpr int ERR = 0x8000;
constexpr int TMO = 0x4000;
constexpr int END = 0x2000;
constexpr int EDVR = 0;
constexpr int EARG = 4;
constexpr int EABO = 6;
constexpr int ENEB = 7;
constexpr int kT100ms = 9;
constexpr int kT300ms = 10;
constexpr int kT3s = 12;

TEST(AdapterFaults, SilentInstrumentTimesOutThenTheNextExchangeWorks) {
    for (Dialect dialect : {Dialect::prologix, Dialect::ar488}) {
        fake_adapter::EchoInstrument echo;
        echo.silent = true;
        fake_adapter::FakeAdapter adapter({dialect, Transport::pty}, echo);
        setenv("PROLOGIX_PORT", adapter.port().c_str(), 1);
        prologix_test::Driver d;
        const int ud = d.open(kT100ms);
        ASSERT_GT(ud, 0);
        d.write(ud, "DATA?");
        d.read(ud, 10);
        EXPECT_EQ(d.sta() & (ERR | TMO), ERR | TMO);
        EXPECT_EQ(d.err(), EABO);
        EXPECT_EQ(d.cnt(), 0);
        echo.silent = false;
        // A text line (the scope's replies end in CR LF) ends at its marker, well within 100 ms.
        d.write(ud, "AB\r\n");
        EXPECT_EQ(d.read(ud, 10), "AB\r\n");
        EXPECT_EQ(d.sta() & (ERR | END), END);
        unsetenv("PROLOGIX_PORT");
    }
}

TEST(AdapterFaults, AdapterGoneUnderAReadFailsTheCallWithTheSystemError) {
    for (Transport transport : {Transport::pty, Transport::tcp}) {
        fake_adapter::EchoInstrument echo;
        fake_adapter::FakeAdapter adapter({Dialect::prologix, transport, 0, false, true}, echo);
        setenv("PROLOGIX_PORT", adapter.port().c_str(), 1);
        prologix_test::Driver d;
        const int ud = d.open();
        ASSERT_GT(ud, 0);
        d.write(ud, "DATA?");
        d.read(ud, 10);
        EXPECT_EQ(d.sta() & (ERR | TMO), ERR);
        EXPECT_EQ(d.err(), EDVR);
        EXPECT_NE(d.cnt(), 0);  // errno
        d.write(ud, "DATA?");
        EXPECT_EQ(d.sta() & ERR, ERR);
        EXPECT_EQ(d.err(), EDVR);
        unsetenv("PROLOGIX_PORT");
    }
}

// ibdev fails with ENEB and one line on standard error names the port and the reason.
void Expect_no_board(prologix_test::Driver& d, const std::string& port, const std::string& why) {
    testing::internal::CaptureStderr();
    const int ud = d.open();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_LT(ud, 0);
    EXPECT_EQ(d.sta() & ERR, ERR);
    EXPECT_EQ(d.err(), ENEB);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(port), std::string::npos) << said;
    EXPECT_NE(said.find(why), std::string::npos) << said;
}

TEST(AdapterFaults, AdapterThatNeverAnswersIsNoBoard) {
    fake_adapter::EchoInstrument echo;
    fake_adapter::FakeAdapter adapter({Dialect::ar488, Transport::pty, 0, true}, echo);
    setenv("PROLOGIX_PORT", adapter.port().c_str(), 1);
    prologix_test::Driver d;
    Expect_no_board(d, adapter.port(), "++ver");
    unsetenv("PROLOGIX_PORT");
}

TEST(AdapterFaults, UnusablePortSettingsAreNoBoard) {
    fake_adapter::EchoInstrument echo;
    fake_adapter::FakeAdapter adapter({Dialect::prologix, Transport::pty}, echo);
    struct Case {
        const char* port;  // nullptr: unset
        const char* baud;
        std::string why;
    };
    const Case cases[] = {
        {nullptr, nullptr, "PROLOGIX_PORT is not set"},
        {"/dev/no-such-ttyUSB9", nullptr, "No such file"},
        {"/dev/null", nullptr, "not a serial port"},
        {"127.0.0.1:1", nullptr, "refused"},
        {adapter.port().c_str(), "fast", "not a baud rate"},
        {adapter.port().c_str(), "12345", "unsupported baud rate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.port != nullptr ? c.port : "(unset)") + " " +
                     (c.baud != nullptr ? c.baud : ""));
        if (c.port != nullptr)
            setenv("PROLOGIX_PORT", c.port, 1);
        if (c.baud != nullptr)
            setenv("PROLOGIX_BAUD", c.baud, 1);
        prologix_test::Driver d;
        Expect_no_board(d, c.port != nullptr ? c.port : "PROLOGIX_PORT", c.why);
        unsetenv("PROLOGIX_PORT");
        unsetenv("PROLOGIX_BAUD");
    }
}

// What a user of a faulty adapter, port or caller must never suffer: a hang, bytes lost, or
// wrong bytes handed back as success. Each row: the adapter, the device's time-out (-1: the row
// opens it), the calls, the last call's status bits (ERR, TMO, END), error and count (-1: its
// check follows), an upper bound on the calls' time (the limits plus 1 s, never a speed check)
// and what must hold after.
struct Scene {
    prologix_test::Driver& d;
    fake_adapter::FakeAdapter& adapter;
    fake_adapter::EchoInstrument& echo;
    int ud = -1;
    int sta = 0, err = 0, cnt = 0;
};
using Step = void (*)(Scene&);
using H = fake_adapter::Hostile;

fake_adapter::Options Hostile(H h, Dialect d = Dialect::prologix, Transport t = Transport::pty) {
    return {d, t, 0, false, false, h};
}
std::string Read_back(Scene& s, const std::string& message, long count = 100) {
    s.d.write(s.ud, message);
    return s.d.read(s.ud, count);
}
void Open(Scene& s) {
    s.ud = s.d.open(kT3s);
}
// One text line there and back, as the scope answers a query.
void Exchange(Scene& s) {
    EXPECT_EQ(Read_back(s, "XY\r\n"), "XY\r\n");
}

void Read_under_alarms(Scene& s) {
    s.echo.silent = true;
    struct sigaction ignore = {};
    struct sigaction before = {};
    ignore.sa_handler = [](int) {};
    sigaction(SIGALRM, &ignore, &before);
    sigevent ev{};
    ev.sigev_notify = SIGEV_THREAD_ID;  // this thread's calls are the ones interrupted
    ev.sigev_signo = SIGALRM;
    ev._sigev_un._tid = gettid();
    timer_t timer{};
    const itimerspec every_20ms{{0, 20000000}, {0, 20000000}};
    timer_create(CLOCK_MONOTONIC, &ev, &timer);
    timer_settime(timer, 0, &every_20ms, nullptr);
    Read_back(s, "X", 10);
    timer_delete(timer);
    sigaction(SIGALRM, &before, nullptr);
}

// 13 bytes with the end marker's value among them, the instrument pausing after it.
void Read_paused_block(Scene& s) {
    const std::string data(
        "ABCD\x04"
        "EFGHIJKL",
        13);
    EXPECT_EQ(Read_back(s, data), data);
}

TEST(AdapterFaults, MisbehavingAdaptersAndCallersGetBoundedTruthfulAnswers) {
    struct Row {
        const char* name;
        fake_adapter::Options adapter;
        int tmo;
        Step call;
        int sta, err, cnt, bound_ms;
        Step then;
    };
    // clang-format off
    const Row rows[] = {
        {"AR488 left in ++auto 3", Hostile(H::auto_stream, Dialect::ar488), -1, Open, 0, 0, 0, 6000, Exchange},
        {"a device that talks on", Hostile(H::chatter), -1, Open, ERR, ENEB, 0, 6000, nullptr},
        {"a flood without newline", Hostile(H::flood, Dialect::prologix, Transport::tcp), -1, Open, ERR, ENEB, 0, 6000, nullptr},
        {"an echoing AR488", Hostile(H::echo, Dialect::ar488), -1, Open, ERR, ENEB, 0, 6000, nullptr},
        {"primary address 31", {}, -1, [](Scene& s) { s.ud = s.d.ibdev(0, 31, 0, kT3s, 1, 0); }, ERR, EARG, 0, 100, nullptr},
        {"TCP port beyond 65535", {}, -1, [](Scene& s) {
            for (const char* where : {"127.0.0.1:99999", "127.0.0.1:65536"}) {
                setenv("PROLOGIX_PORT", where, 1);
                testing::internal::CaptureStderr();
                s.ud = s.d.open(kT3s);
                EXPECT_NE(testing::internal::GetCapturedStderr().find("not a TCP port"), std::string::npos);
            } }, ERR, ENEB, 0, 1000, nullptr},
        {"end marker as data, then a stall", Hostile(H::marker_gap), kT3s, [](Scene& s) {
            const std::string data("ABCD\x04" "EFGHIJKL", 13);
            EXPECT_EQ(Read_back(s, data), data); }, END, 0, 13, 4000, Exchange},
        {"end marker as data, then the instrument pauses past the adapter's time-out", Hostile(H::marker_pause), kT3s, Read_paused_block, END, 0, 13, 4000, Exchange},
        {"the same over TCP", Hostile(H::marker_pause, Dialect::prologix, Transport::tcp), kT3s, Read_paused_block, END, 0, 13, 4000, Exchange},
        {"the same through an AR488", Hostile(H::marker_pause, Dialect::ar488), kT3s, Read_paused_block, END, 0, 13, 4000, Exchange},
        {"binary reply ending in the marker byte, read past its end", {}, kT3s, [](Scene& s) {
            const std::string data("AB\x04", 3);
            EXPECT_EQ(Read_back(s, data), data); }, END, 0, 3, 2000, Exchange},
        {"no time limit (TNONE)", {}, 0, [](Scene& s) { EXPECT_EQ(Read_back(s, "AB"), "AB"); }, END, 0, 2, 1300, nullptr},
        {"stray line waiting before a serial poll", Hostile(H::stray_line), kT300ms, [](Scene& s) {
            s.d.write(s.ud, "XY");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            short status_byte = -1;
            s.d.ReadStatusByte(0, 5, &status_byte);
            EXPECT_EQ(status_byte, 0); }, 0, 0, -1, 1500, nullptr},
        {"stray line waiting before a listener search", Hostile(H::stray_line, Dialect::ar488), kT300ms, [](Scene& s) {
            s.d.write(s.ud, "XY");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const short pads[] = {5, -1};
            short found[4] = {-2, -2, -2, -2};
            s.d.FindLstn(0, pads, found, 4);
            EXPECT_EQ(found[0], 5);
            EXPECT_EQ(found[1], -2); }, 0, 0, 1, 1500, nullptr},
        {"stray line waiting before a read", Hostile(H::stray_line), kT300ms, [](Scene& s) {
            s.d.write(s.ud, "XY");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_EQ(s.d.read(s.ud, 100), "XY"); }, END, 0, 2, 1500, nullptr},
        {"unsolicited adapter line", Hostile(H::complains), kT300ms, [](Scene& s) { EXPECT_EQ(Read_back(s, "AB"), "AB"); }, END, 0, 2, 1300, nullptr},
        {"reply after a time-out", Hostile(H::late), kT100ms, [](Scene& s) {
            Read_back(s, "OLD");
            s.d.write(s.ud, "NEW\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            EXPECT_EQ(s.d.read(s.ud, 100), "NEW\r\n"); }, END, 0, 5, 2600, nullptr},
        {"SIGALRM every 20 ms, silent instrument", {}, kT100ms, Read_under_alarms, ERR | TMO, EABO, 0, 1200, nullptr},
        {"adapter stops taking a long write", Hostile(H::stall), kT300ms, [](Scene& s) { s.d.write(s.ud, std::string(300000, 'x')); },
            ERR | TMO, EABO, -1, 1300, [](Scene& s) {
            EXPECT_GT(s.cnt, 0);
            EXPECT_EQ(Read_back(s, "AB"), "AB");  // never joined to the cut line
            ASSERT_EQ(s.echo.received.size(), 2u);
            EXPECT_EQ(s.echo.received[0], std::string(static_cast<std::size_t>(s.cnt), 'x')); }},
        {"write behind an endless reply", Hostile(H::endless, Dialect::ar488, Transport::tcp), kT300ms, [](Scene& s) {
            Read_back(s, "X", 10);
            s.d.write(s.ud, "Y"); }, ERR | TMO, EABO, 0, 2300, nullptr},
        {"text reply read in pieces", {}, kT300ms, [](Scene& s) {
            EXPECT_EQ(Read_back(s, "ABC\r\n", 2), "AB");
            EXPECT_EQ(s.d.sta() & END, 0);
            EXPECT_EQ(s.d.read(s.ud, 10), "C\r\n"); }, END, 0, 3, 2300, nullptr},
        {"\"++ver\" as data", {}, kT300ms, [](Scene& s) { EXPECT_EQ(Read_back(s, "++ver"), "++ver"); },
            END, 0, 5, 1300, [](Scene& s) { EXPECT_EQ(s.echo.received.at(0), "++ver"); }},
        {"ibrd of 0 bytes, no buffer", {}, kT300ms, [](Scene& s) { s.d.ibrd(s.ud, nullptr, 0); }, 0, 0, 0, 1300, [](Scene& s) {
            Exchange(s);
            const auto c = s.adapter.commands();
            EXPECT_EQ(std::count(c.begin(), c.end(), "++read eoi"), 1); }},
        {"FindLstn, unterminated list", {Dialect::ar488}, kT300ms, [](Scene& s) {
            short pads[31], found[4];
            std::fill(std::begin(pads), std::end(pads), 3);
            s.d.FindLstn(0, pads, found, 4); }, 0, 0, 0, 1300, nullptr},
        {"FindLstn, limit 0 with a listener", {Dialect::ar488}, kT300ms, [](Scene& s) {
            const short pads[] = {5, -1};
            short found[1] = {-2};
            s.d.FindLstn(0, pads, found, 0);
            EXPECT_EQ(found[0], -2); }, 0, 0, 0, 1300, nullptr},
        {"a second program on the serial port", {}, kT300ms, [](Scene& s) {
            const int fd = ::open(s.adapter.port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            termios t{};  // as root the open succeeds: the lock must still stop it
            EXPECT_TRUE(fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0);
            EXPECT_TRUE(fd < 0 || (tcgetattr(fd, &t) == 0 && (t.c_cflag & HUPCL) == 0));
            if (fd >= 0) close(fd); }, 0, 0, 0, 1300, nullptr},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fake_adapter::EchoInstrument echo;
        fake_adapter::FakeAdapter adapter(row.adapter, echo);
        setenv("PROLOGIX_PORT", adapter.port().c_str(), 1);
        prologix_test::Driver d;
        Scene s{d, adapter, echo};
        if (row.tmo >= 0) {
            ASSERT_GT(s.ud = d.open(row.tmo), 0);
        }
        std::packaged_task<void()> task([&] {
            SCOPED_TRACE(row.name);  // traces are per thread
            row.call(s);
            s.sta = d.sta(), s.err = d.err(), s.cnt = d.cnt();  // the calling thread's status
        });
        auto done = task.get_future();
        const auto start = std::chrono::steady_clock::now();
        std::thread caller(std::move(task));
        // A driver call that never returns cannot be undone: the run ends here.
        if (done.wait_for(std::chrono::milliseconds(row.bound_ms + 5000)) !=
            std::future_status::ready) {
            std::fprintf(stderr, "%s: the call never returned\n", row.name);
            std::_Exit(1);
        }
        caller.join();
        EXPECT_LE(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(row.bound_ms));
        EXPECT_EQ(s.sta & (ERR | TMO | END), row.sta);
        EXPECT_EQ(s.err, row.err);
        if (row.cnt >= 0) {
            EXPECT_EQ(s.cnt, row.cnt);
        }
        if (row.then != nullptr)
            row.then(s);
        unsetenv("PROLOGIX_PORT");
    }
}

}  // namespace
