// The driver's writes and reads through the fake gateway: how a long write is cut into pieces
// and resent, how reads are assembled from the gateway's answers and when END is reported, and
// the device names and descriptors of ibdev.
#include <string>
#include <vector>

#include "support_driver.h"

namespace {

using namespace vxi11_test;

std::string Every_byte_value(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 256);
    return bytes;
}

TEST_F(GatewayTest, LongWriteArrivesWholeInPiecesWithEndOnTheLastOnly) {
    struct Case {
        long accept_limit;  // what the gateway takes of each piece
        int eot;
        std::vector<std::size_t> pieces;
    } const cases[] = {{0, 1, {1024, 1024, 952}},
                       {700, 1, {700, 700, 700, 700, 200}},  // the rest is sent again
                       {0, 0, {1024, 1024, 952}}};
    const std::string text = Every_byte_value(3000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.accept_limit + c.eot);
        gateway.set_behaviour({.accept_limit = c.accept_limit});
        const std::size_t before = gateway.writes().size();
        const int ud = driver.ibdev(0, 5, 0, 12, c.eot, 0);
        EXPECT_EQ(driver.write(ud, text).ibsta, kCmpl);
        EXPECT_EQ(driver.status().ibcnt, 3000);
        const auto writes = gateway.writes();
        ASSERT_EQ(writes.size() - before, c.pieces.size());
        std::string arrived;
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            const auto& w = writes[before + i];
            EXPECT_EQ(w.data.size(), c.pieces[i]) << i;
            EXPECT_EQ(w.end, c.eot == 1 && i + 1 == c.pieces.size()) << i;
            EXPECT_TRUE(w.io_timeout > 2900 && w.io_timeout <= 3000) << w.io_timeout;
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
    std::string piece;
    for (const long count : {1, 1, 1}) {
        EXPECT_EQ(driver.read(ud, count, piece).ibsta, kCmpl);  // the count, not the end
        got += piece;
    }
    EXPECT_EQ(driver.read(ud, 5000, piece).ibsta, kCmpl | kEnd);
    EXPECT_EQ(got + piece, reply);
    EXPECT_EQ(gateway.reads().back().request_size, 5000u);
}

TEST_F(GatewayTest, EndIsReportedWhenTheReplyEndsWhateverElseTheReasonSays) {
    struct Case {
        long packet_size;  // answers of at most this size with reason 0 until the last
        std::size_t reply_size;
        long count;
        int status;
        std::size_t requests;
    } const cases[] = {
        {0, 2048, 2048, kCmpl | kEnd, 1},  // END with the request count
        {0, 2049, 2048, kCmpl, 1},
        {1024, 3000, 4096, kCmpl | kEnd, 3},  // 1024-byte packets without reason bits
        {1024, 3072, 3072, kCmpl | kEnd, 3},
        {1024, 3072, 2048, kCmpl, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply_size + c.packet_size);
        gateway.set_behaviour({.packet_size = c.packet_size});
        const int ud = driver.open();
        const std::size_t before = gateway.reads().size();
        const std::string reply = Every_byte_value(c.reply_size);
        gateway.set_reply(reply);
        std::string got;
        EXPECT_EQ(driver.read(ud, c.count, got).ibsta, c.status);
        EXPECT_EQ(got, reply.substr(0, static_cast<std::size_t>(c.count)));
        EXPECT_EQ(gateway.reads().size() - before, c.requests);
        driver.ibonl(ud, 0);
    }
}

TEST_F(GatewayTest, BytesBeyondTheCountWaitForTheNextReadOrAreDropped) {
    gateway.set_behaviour({.extra_bytes = 10});  // answers more than it is asked for
    const int ud = driver.open();
    const std::string reply = Every_byte_value(100);
    std::string first;
    std::string second;
    for (const char* then : {"read", "write", "clear"}) {
        SCOPED_TRACE(then);
        gateway.set_reply(reply);
        EXPECT_EQ(driver.read(ud, 40, first).ibsta, kCmpl);
        EXPECT_EQ(first, reply.substr(0, 40));
        if (std::string(then) == "write") {
            driver.write(ud, "X");
            gateway.set_reply("fresh\r\n");
        } else if (std::string(then) == "clear") {
            driver.ibclr(ud);
            gateway.set_reply("fresh\r\n");
        }
        const std::string expected = std::string(then) == "read" ? reply.substr(40) : "fresh\r\n";
        EXPECT_EQ(driver.read(ud, 60, second).ibsta, kCmpl | kEnd);
        EXPECT_EQ(second, expected);
    }
    EXPECT_EQ(gateway.reads()[1].request_size, 50u);  // the ten kept bytes were not asked for
    EXPECT_EQ(gateway.clears(), 1);
}

TEST_F(GatewayTest, DeviceNamesAndDescriptors) {
    struct Case {
        int pad;
        int sad;
        const char* setting;  // VXI11_DEVICE
        const char* name;
    } const cases[] = {{5, 0, nullptr, "gpib0,5"},
                       {7, 0x60, nullptr, "gpib0,7,0"},
                       {12, 0x7E, nullptr, "gpib0,12,30"},
                       {5, 0, "hpib,5", "hpib,5"}};
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        c.setting != nullptr ? setenv("VXI11_DEVICE", c.setting, 1) : unsetenv("VXI11_DEVICE");
        driver.ibdev(0, c.pad, c.sad, 12, 1, 0);
        expected.push_back(c.name);
    }
    EXPECT_EQ(gateway.link_names(), expected);
    // Link ids start at 0 at the fake; descriptors count from 1 whatever the gateway says.
    unsetenv("VXI11_DEVICE");
    EXPECT_EQ(driver.open(), 2);
    EXPECT_EQ(gateway.open_links(), 2);
    EXPECT_EQ(driver.ibonl(1, 0), kCmpl);
    EXPECT_EQ(gateway.open_links(), 1);
    driver.reload();  // the link left open is destroyed at unload
    EXPECT_EQ(gateway.open_links(), 0);
}

}  // namespace
