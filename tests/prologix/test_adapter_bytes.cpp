// Binary traffic through the adapter driver, on both dialects over serial and TCP: writes
// holding every byte value (CR, LF, ESC, "+" and the end marker among them) reach the
// instrument intact; replies holding them read back intact in the program's pieces (three
// single bytes, then the rest), with END on the last byte; and what a caller leaves unread is
// gone before the next exchange.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support_driver.h"
#include "support_fake_adapter.h"

namespace {

using fake_adapter::Dialect;
using fake_adapter::Transport;

constexpr int ERR = 0x8000;
constexpr int END = 0x2000;

struct Link {
    const char* name;
    Dialect dialect;
    Transport transport;
};
constexpr Link kLinks[] = {
    {"Prologix GPIB-USB", Dialect::prologix, Transport::pty},
    {"Prologix GPIB-ETHERNET", Dialect::prologix, Transport::tcp},
    {"AR488 on USB", Dialect::ar488, Transport::pty},
    {"AR488 on WiFi", Dialect::ar488, Transport::tcp},
};

// Every byte value, then the end marker (ASCII EOT) as a data byte after CR LF, last.
std::string Every_byte_value() {
    std::string s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s + std::string("\x04\r\n\x04", 4);
}

TEST(AdapterBytes, EveryByteValueCrossesIntactInPieces) {
    const std::string data = Every_byte_value();
    for (const Link& link : kLinks) {
        SCOPED_TRACE(link.name);
        fake_adapter::EchoInstrument echo;
        fake_adapter::FakeAdapter adapter({link.dialect, link.transport}, echo);
        setenv("PROLOGIX_PORT", adapter.port().c_str(), 1);
        prologix_test::Driver d;
        const int ud = d.open();
        ASSERT_GT(ud, 0);

        d.write(ud, data);
        EXPECT_EQ(d.sta() & ERR, 0);
        EXPECT_EQ(d.cnt(), static_cast<int>(data.size()));  // the caller's count, not escaped
        std::string got;
        for (long piece : {1L, 1L, 1L}) {
            got += d.read(ud, piece);
            EXPECT_EQ(d.sta() & (ERR | END), 0);
        }
        got += d.read(ud, 1000);  // more than is left: the end must be found
        EXPECT_EQ(d.sta() & (ERR | END), END);
        EXPECT_EQ(got, data);
        ASSERT_EQ(echo.received.size(), 1u);
        EXPECT_EQ(echo.received[0], data);

        // Half a reply read, then a new message: the rest must not reach the next read.
        d.write(ud, data);
        EXPECT_EQ(d.read(ud, 100), data.substr(0, 100));
        d.write(ud, "WAVEFORM?");
        EXPECT_EQ(d.read(ud, 1000), "WAVEFORM?");
        EXPECT_EQ(d.sta() & (ERR | END), END);

        // A text reply ends at its marker.
        d.write(ud, "\"HP54200A\"\r\n");
        EXPECT_EQ(d.read(ud, 1024), "\"HP54200A\"\r\n");
        EXPECT_EQ(d.sta() & (ERR | END), END);
        d.ibonl(ud, 0);
        unsetenv("PROLOGIX_PORT");
    }
}

}  // namespace
