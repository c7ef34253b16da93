// The USBTMC driver over the fake kernel: each write one message with EOM, reads gathered from
// the adapter's transfers (at most 1012 bytes each) until EOM or the count, the time limit of
// each time-out code, clear, time-outs, an adapter unplugged in the middle of a read, nodes that
// cannot be opened, and the nodes found in sysfs by vendor, product and serial number.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support_usbtmc.h"

namespace {

namespace fs = std::filesystem;
using namespace usbtmc_test;

int Count_lines(const std::string& log, const std::string& line) {
    int n = 0;
    for (std::size_t at = 0; (at = log.find(line + "\n", at)) != std::string::npos; ++at)
        if (at == 0 || log[at - 1] == '\n')
            ++n;
    return n;
}

// The transfers of the last read, as the fake kernel logged them: "read 2048 -> 1012", ...
std::vector<std::string> Reads(const std::string& log) {
    std::vector<std::string> reads;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
        if (log.compare(start, 5, "read ") == 0)
            reads.push_back(log.substr(start, end - start));
    return reads;
}

TEST_F(UsbtmcTest, ReadsGatherTransfersUntilEomOrTheCount) {
    struct Case {
        const char* name;
        std::size_t reply;  // bytes of the answer to "ID ?"
        long transfer_size;
        std::vector<long> counts;
        std::vector<int> statuses;
        std::vector<std::string> transfers;
    } const cases[] = {
        {"2 kB block in three transfers",
         2030,
         1012,
         {4096},
         {kCmpl | kEnd},
         {"read 4096 -> 1012", "read 3084 -> 1012", "read 2072 -> 6 EOM"}},
        {"count met before the end",
         2030,
         1012,
         {1500, 1000},
         {kCmpl, kCmpl | kEnd},
         {"read 1500 -> 1012", "read 488 -> 488", "read 1000 -> 530 EOM"}},
        {"one byte at a time",
         3,
         1012,
         {1, 1, 1},
         {kCmpl, kCmpl, kCmpl | kEnd},
         {"read 1 -> 1", "read 1 -> 1", "read 1 -> 1 EOM"}},
        {"count exactly the message",
         1012,
         1012,
         {1012},
         {kCmpl | kEnd},
         {"read 1012 -> 1012 EOM"}},
        {"small transfers",
         12,
         5,
         {100},
         {kCmpl | kEnd},
         {"read 100 -> 5", "read 95 -> 5", "read 90 -> 2 EOM"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string reply(c.reply, '\0');
        for (std::size_t i = 0; i < c.reply; ++i) reply[i] = static_cast<char>('A' + i % 26);
        setenv("HP_SIM_REPLY_ID", reply.c_str(), 1);
        driver.set("reset", 0);
        driver.set("transfer_size", c.transfer_size);
        const int ud = driver.open();
        ASSERT_GT(ud, 0);
        ASSERT_EQ(driver.write(ud, "ID ?").ibsta, kCmpl);
        std::string all;
        for (std::size_t i = 0; i < c.counts.size(); ++i) {
            std::string piece;
            EXPECT_EQ(driver.read(ud, c.counts[i], piece).ibsta, c.statuses[i]) << i;
            all += piece;
        }
        EXPECT_EQ(all, reply);
        EXPECT_EQ(Reads(driver.log()), c.transfers);
        driver.ibonl(ud, 0);
    }
}

TEST_F(UsbtmcTest, EachWriteIsOneMessageWithEomUnlessEoiIsOff) {
    struct Case {
        const char* name;
        int eot;
        const char* line;
    } const cases[] = {
        {"EOI on writes", 1, "write 4 EOM ID ?"},
        {"no EOI", 0, "write 4 ID ?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.set("reset", 0);
        const int ud = driver.open(12, c.eot);
        const Status s = driver.write(ud, "ID ?");
        EXPECT_EQ(s.ibsta, kCmpl);
        EXPECT_EQ(s.ibcnt, 4);
        EXPECT_EQ(Count_lines(driver.log(), c.line), 1) << driver.log();
        EXPECT_EQ(Count_lines(driver.log(), "termchar 0"), 1) << driver.log();
        driver.ibonl(ud, 0);
    }
}

TEST_F(UsbtmcTest, EachTimeOutCodeSetsTheKernelsTimeLimit) {
    const std::pair<int, const char*> cases[] = {
        {0, "timeout 4294967295"},  // TNONE: the longest the kernel holds
        {1, "timeout 100"},         // below the kernel's least, raised to it
        {9, "timeout 100"},        {10, "timeout 300"},
        {12, "timeout 3000"},      {17, "timeout 1000000"},
    };
    for (const auto& [tmo, line] : cases) {
        SCOPED_TRACE(tmo);
        driver.set("reset", 0);
        const int ud = driver.open(tmo);
        ASSERT_GT(ud, 0);
        EXPECT_EQ(Count_lines(driver.log(), line), 1) << driver.log();
        driver.ibonl(ud, 0);
    }
}

TEST_F(UsbtmcTest, TimeOutsAndAnUnpluggedAdapterEndTheCall) {
    struct Case {
        const char* name;
        const char* mode;
        long nth;
        int status;
        int iberr;
        int ibcnt;
        const char* said;
    } const cases[] = {
        {"write times out", "timeout_write", 1, kErr | kTmo | kCmpl, kEabo, 0, ""},
        {"first transfer times out", "timeout_read", 1, kErr | kTmo | kCmpl, kEabo, 0, ""},
        {"second transfer times out", "timeout_read", 2, kErr | kTmo | kCmpl, kEabo, 1012, ""},
        {"unplugged mid-read", "unplug_at_read", 2, kErr | kCmpl, kEdvr, 19 /* ENODEV */,
         "the adapter was unplugged"},
    };
    setenv("HP_SIM_REPLY_ID", std::string(2030, 'x').c_str(), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.set("reset", 0);
        const int ud = driver.open();
        driver.set(c.mode, c.nth);
        testing::internal::CaptureStderr();
        Status s = driver.write(ud, "ID ?");
        std::string got;
        if ((s.ibsta & kErr) == 0)
            s = driver.read(ud, 4096, got);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(s.ibsta, c.status);
        EXPECT_EQ(s.iberr, c.iberr);
        EXPECT_EQ(s.ibcnt, c.ibcnt);
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        driver.ibonl(ud, 0);
    }
}

TEST_F(UsbtmcTest, ANodeThatCannotBeOpenedGetsItsRemedy) {
    struct Case {
        const char* name;
        int error;
        const char* said;
    } const cases[] = {
        {"no permission", 13 /* EACCES */, "join the group"},
        {"no such node", 2 /* ENOENT */, "is the adapter plugged in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.set("reset", 0);
        driver.set("open_error", c.error);
        testing::internal::CaptureStderr();
        EXPECT_EQ(driver.open(), -1);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, kEdvr);
        EXPECT_EQ(driver.status().ibcnt, c.error);
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
    }
}

TEST_F(UsbtmcTest, ClearEmptiesTheReply) {
    const int ud = driver.open();
    driver.write(ud, "ID ?");
    driver.ibclr(ud);
    EXPECT_EQ(driver.status().ibsta, kCmpl);
    EXPECT_EQ(Count_lines(driver.log(), "clear"), 1);
    std::string got;
    testing::internal::CaptureStderr();
    EXPECT_EQ(driver.read(ud, 10, got).ibsta, kErr | kTmo | kCmpl);
    testing::internal::GetCapturedStderr();
    driver.ibonl(ud, 0);
}

// A scratch sysfs: class/usbtmcN/device -> devices/<dev>/<dev>:1.<interface>, the device's
// folder holding idVendor, idProduct and serial.
class SysfsTest : public UsbtmcTest {
  protected:
    fs::path root = fs::temp_directory_path() / ("usbtmc-sysfs-" + std::to_string(getpid()));

    void SetUp() override {
        UsbtmcTest::SetUp();
        fs::remove_all(root);
        add(0, "03eb", "2065", "UG1", 0);
        add(1, "03eb", "2065", "UG2", 0);
        add(2, "0957", "1755", "", 3);
        driver.set_sysfs((root / "class").string());
    }
    void TearDown() override {
        fs::remove_all(root);
        UsbtmcTest::TearDown();
    }
    void add(int n, const char* vendor, const char* product, const char* serial, int interface) {
        const fs::path device = root / "devices" / ("1-" + std::to_string(n));
        const fs::path intf =
            device / ("1-" + std::to_string(n) + ":1." + std::to_string(interface));
        fs::create_directories(intf);
        fs::create_directories(root / "class" / ("usbtmc" + std::to_string(n)));
        std::ofstream(device / "idVendor") << vendor << "\n";
        std::ofstream(device / "idProduct") << product << "\n";
        if (*serial != '\0')
            std::ofstream(device / "serial") << serial << "\n";
        std::ofstream(intf / "bInterfaceNumber") << "0" << interface << "\n";
        fs::create_directory_symlink(intf,
                                     root / "class" / ("usbtmc" + std::to_string(n)) / "device");
    }
};

TEST_F(SysfsTest, UsbResourcesFindTheirNodeByVendorProductAndSerial) {
    struct Case {
        const char* resource;
        const char* node;  // "" when refused
        const char* said;
    } const cases[] = {
        {"USB0::0x03EB::0x2065::UG2::INSTR", "open /dev/usbtmc1", ""},
        {"usb0::1003::8293::UG1::INSTR", "open /dev/usbtmc0", ""},  // decimal numbers
        {"USB0::0x03EB::0x2065::UG1::0::INSTR", "open /dev/usbtmc0", ""},
        {"USB0::0x03EB::0x2065::UG1::1::INSTR", "", "no USBTMC device 03eb:2065"},
        {"USB0::0x03EB::0x2065::UG9::INSTR", "", "with serial number \"UG9\""},
        {"USB0::0x03EB::INSTR", "", "is not a USB resource"},
        {"USBTMC::/dev/usbtmc7::INSTR", "open /dev/usbtmc7", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.resource);
        driver.set("reset", 0);
        setenv("USBTMC_DEVICE", c.resource, 1);
        testing::internal::CaptureStderr();
        const int ud = driver.open();
        const std::string said = testing::internal::GetCapturedStderr();
        if (*c.node != '\0') {
            EXPECT_GT(ud, 0) << said;
            EXPECT_EQ(Count_lines(driver.log(), c.node), 1) << driver.log();
            driver.ibonl(ud, 0);
        } else {
            EXPECT_EQ(ud, -1);
            EXPECT_EQ(driver.log(), "");  // no node opened
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        }
    }
}

TEST_F(SysfsTest, TheDevicesPresentAreListedAsResources) {
    char list[1024];
    EXPECT_EQ(driver.list("", list, sizeof list), 3);
    EXPECT_EQ(std::string(list),
              "USB0::0x03EB::0x2065::UG1::INSTR\n"
              "USB0::0x03EB::0x2065::UG2::INSTR\n"
              "USBTMC::/dev/usbtmc2::INSTR\n");
    char tiny[40];
    EXPECT_EQ(driver.list("", tiny, sizeof tiny), 1);  // only what fits whole
    EXPECT_EQ(std::string(tiny), "USB0::0x03EB::0x2065::UG1::INSTR\n");
}

}  // namespace
