// The driver's writes and reads through the fake gateway: how a long write is cut into pieces
// and resent, how reads are assembled from the gateway's answers and when END is reported, and
// the device name each ibdev asks the gateway for.
#include <string>
#include <vector>

#include "support_driver.h"

namespace {

using namespace vxi11_test;
using fake_vxi11::Behaviour;

std::string Every_byte_value(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 256);
    return bytes;
}

TEST_F(GatewayTest, LongWriteArrivesWholeInPiecesWithEndOnTheLastOnly) {
    struct Case {
        const char* what;
        long accept_limit;
        int eot;
        std::vector<std::size_t> pieces;
    };
    const Case cases[] = {
        {"pieces of the maximum receive size", 0, 1, {1024, 1024, 952}},
        {"the rest resent after short accepts", 700, 1, {700, 700, 700, 700, 200}},
        {"no END without EOI", 0, 0, {1024, 1024, 952}},
    };
    const std::string text = Every_byte_value(3000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_vxi11::FakeGateway& g = gateway;
        Behaviour b;
        b.accept_limit = c.accept_limit;
        g.set_behaviour(b);
        const std::size_t before = g.writes().size();
        const int ud = driver.ibdev(0, 5, 0, 12, c.eot, 0);
        ASSERT_GT(ud, 0);
        const Status s = driver.write(ud, text);
        EXPECT_EQ(s.ibsta, kCmpl);
        EXPECT_EQ(s.ibcnt, 3000);
        const auto writes = g.writes();
        ASSERT_EQ(writes.size() - before, c.pieces.size());
        std::string arrived;
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            const auto& w = writes[before + i];
            EXPECT_EQ(w.data.size(), c.pieces[i]) << i;
            // B.6.3: END goes with the last byte of the message and nowhere else.
            EXPECT_EQ(w.end, c.eot == 1 && i + 1 == c.pieces.size()) << i;
            EXPECT_LE(w.io_timeout, 3000u);
            EXPECT_GT(w.io_timeout, 2500u);
            arrived += w.data;
        }
        EXPECT_EQ(arrived, text);
        driver.ibonl(ud, 0);
    }
}

TEST_F(GatewayTest, BinaryReplyReadIntactInPiecesOfOneOneOneAndTheRest) {
    const int ud = driver.open();
    const std::string reply = Every_byte_value(4000);
    gateway.set_reply(reply);
    std::string got;
    for (int i = 0; i < 3; ++i) {
        std::string piece;
        const Status s = driver.read(ud, 1, piece);
        EXPECT_EQ(s.ibsta, kCmpl) << i;  // the request count, not the end
        got += piece;
    }
    std::string rest;
    const Status s = driver.read(ud, 5000, rest);
    EXPECT_EQ(s.ibsta, kCmpl | kEnd);
    EXPECT_EQ(s.ibcnt, 3997);
    got += rest;
    EXPECT_EQ(got, reply);
    // Each request asks for what is still wanted.
    const auto reads = gateway.reads();
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[3].request_size, 5000u);
}

TEST_F(GatewayTest, EndIsReportedWhenTheReplyFillsTheCountExactly) {
    struct Case {
        const char* what;
        Behaviour behaviour;
        std::size_t reply_size;
        long count;
        int status;
        std::size_t requests;
    };
    Behaviour packets;
    packets.packet_size = 1024;  // answers of 1024 bytes with reason 0: the buffer was full
    const Case cases[] = {
        {"reply as long as the count", {}, 2048, 2048, kCmpl | kEnd, 1},
        {"reply longer than the count", {}, 2049, 2048, kCmpl, 1},
        {"1024-byte packets without reason bits", packets, 3000, 4096, kCmpl | kEnd, 3},
        {"packets filling the count exactly", packets, 3072, 3072, kCmpl | kEnd, 3},
        {"packets, count reached first", packets, 3072, 2048, kCmpl, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gateway.set_behaviour(c.behaviour);
        const int ud = driver.open();
        const std::size_t before = gateway.reads().size();
        const std::string reply = Every_byte_value(c.reply_size);
        gateway.set_reply(reply);
        std::string got;
        const Status s = driver.read(ud, c.count, got);
        EXPECT_EQ(s.ibsta, c.status);
        EXPECT_EQ(got, reply.substr(0, static_cast<std::size_t>(c.count)));
        EXPECT_EQ(gateway.reads().size() - before, c.requests);
        driver.ibonl(ud, 0);
    }
}

TEST_F(GatewayTest, BytesBeyondTheCountWaitForTheNextReadOrAreDropped) {
    Behaviour b;
    b.extra_bytes = 10;  // a gateway that answers more than it was asked for
    gateway.set_behaviour(b);
    const int ud = driver.open();
    const std::string reply = Every_byte_value(100);

    gateway.set_reply(reply);
    std::string first;
    std::string second;
    EXPECT_EQ(driver.read(ud, 40, first).ibsta, kCmpl);
    EXPECT_EQ(first, reply.substr(0, 40));
    const std::size_t requests = gateway.reads().size();
    // The 10 kept bytes come first; the rest is asked for.
    EXPECT_EQ(driver.read(ud, 60, second).ibsta, kCmpl | kEnd);
    EXPECT_EQ(second, reply.substr(40));
    EXPECT_EQ(gateway.reads()[requests].request_size, 50u);

    // Kept bytes are dropped by a write and by a clear.
    struct Case {
        const char* what;
        void (*drop)(Driver&, int);
    };
    const Case cases[] = {
        {"write", [](Driver& d, int u) { d.write(u, "X"); }},
        {"clear", [](Driver& d, int u) { d.ibclr(u); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gateway.set_reply(reply);
        EXPECT_EQ(driver.read(ud, 40, first).ibcnt, 40);
        c.drop(driver, ud);
        gateway.set_reply("fresh\r\n");
        EXPECT_EQ(driver.read(ud, 100, second).ibsta, kCmpl | kEnd);
        EXPECT_EQ(second, "fresh\r\n");
    }
    EXPECT_EQ(gateway.clears(), 1);
}

TEST_F(GatewayTest, DeviceNamesAskedOfTheGateway) {
    struct Case {
        int pad;
        int sad;
        const char* override_name;
        const char* name;
    };
    const Case cases[] = {
        {5, 0, nullptr, "gpib0,5"},         {7, 0x60, nullptr, "gpib0,7,0"},
        {12, 0x7E, nullptr, "gpib0,12,30"}, {5, 0, "hpib,5", "hpib,5"},
        {5, 0, "inst0", "inst0"},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        if (c.override_name != nullptr) {
            setenv("VXI11_DEVICE", c.override_name, 1);
        } else {
            unsetenv("VXI11_DEVICE");
        }
        const int ud = driver.ibdev(0, c.pad, c.sad, 12, 1, 0);
        if (ud > 0) {
            driver.ibonl(ud, 0);
        }
        expected.push_back(c.name);
    }
    EXPECT_EQ(gateway.link_names(), expected);
}

TEST_F(GatewayTest, DescriptorsAreTheDriversOwnAndLinksAreDestroyed) {
    // The fake hands out link id 0 first; descriptors still count from 1.
    const int first = driver.open();
    const int second = driver.open();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(gateway.open_links(), 2);
    EXPECT_EQ(driver.ibonl(first, 0), kCmpl);
    EXPECT_EQ(gateway.open_links(), 1);
    // The link left open is destroyed when the library is unloaded.
    driver.reload();
    EXPECT_EQ(gateway.open_links(), 0);
}

}  // namespace
