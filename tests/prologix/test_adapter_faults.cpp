// Faults at the adapter driver: an instrument that says nothing, an adapter that goes away under
// a read, an adapter that never answers, and PROLOGIX_PORT settings that cannot work. Each call
// fails the way the driver ABI reports it, within its time-out, and the program's fatal report
// gets the error it names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support_driver.h"
#include "support_fake_adapter.h"

namespace {

using fake_adapter::Dialect;
using fake_adapter::Transport;

constexpr int ERR = 0x8000;
constexpr int TMO = 0x4000;
constexpr int END = 0x2000;
constexpr int EDVR = 0;
constexpr int EABO = 6;
constexpr int ENEB = 7;
constexpr int kT100ms = 9;

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
        d.write(ud, "AB");
        EXPECT_EQ(d.read(ud, 10), "AB");
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

}  // namespace
