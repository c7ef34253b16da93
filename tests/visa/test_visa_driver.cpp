// The VISA driver against the fake VISA: how a device is opened (resource, attributes, the time
// limit of each time-out code), how reads report END from VISA's completion codes, how VISA's
// errors become the driver's statuses with VISA's own text on standard error, and how sessions
// and the resource manager are closed.
#include <functional>
#include <string>
#include <vector>

#include "support_visa.h"

namespace {

using namespace visa_test;

int Count_lines(const std::string& log, const std::string& line) {
    int n = 0;
    for (std::size_t at = 0; (at = log.find(line + "\n", at)) != std::string::npos; ++at)
        if (at == 0 || log[at - 1] == '\n')
            ++n;
    return n;
}

TEST_F(VisaTest, EachTimeOutCodeBecomesItsTimeLimitInMilliseconds) {
    struct Case {
        const char* name;
        int tmo;
        const char* line;
    } const cases[] = {
        {"TNONE is VISA's infinite limit", 0, "viSetAttribute 3FFF001A 4294967295"},
        {"T10us rounds up to 1 ms", 1, "viSetAttribute 3FFF001A 1"},
        {"T3ms", 6, "viSetAttribute 3FFF001A 3"},
        {"T1s", 11, "viSetAttribute 3FFF001A 1000"},
        {"T3s", 12, "viSetAttribute 3FFF001A 3000"},
        {"T1000s", 17, "viSetAttribute 3FFF001A 1000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        visa.set("reset", 0);
        const int ud = driver.open(5, c.tmo);
        ASSERT_GT(ud, 0);
        EXPECT_EQ(Count_lines(visa.log(), c.line), 1) << visa.log();
        driver.ibonl(ud, 0);
    }
}

TEST_F(VisaTest, OpeningNamesTheResourceAndTurnsTheTerminationCharacterOff) {
    struct Case {
        const char* name;
        const char* resource;  // VISA_RESOURCE, "" for none
        int pad, sad, eot;
        const char* open_line;
        const char* end_line;
    } const cases[] = {
        {"GPIB board by default", "", 5, 0, 1, "viOpen GPIB0::5::INSTR",
         "viSetAttribute 3FFF0016 1"},
        {"secondary address", "", 5, 0x61, 1, "viOpen GPIB0::5::1::INSTR",
         "viSetAttribute 3FFF0016 1"},
        {"named USB resource", "USB0::0x03EB::0x2065::FAKE1::INSTR", 5, 0, 1,
         "viOpen USB0::0x03EB::0x2065::FAKE1::INSTR", "viSetAttribute 3FFF0016 1"},
        {"no END on writes", "", 5, 0, 0, "viOpen GPIB0::5::INSTR", "viSetAttribute 3FFF0016 0"},
    };
    visa.set_resources("GPIB0::5::INSTR\nGPIB0::5::1::INSTR\nUSB0::0x03EB::0x2065::FAKE1::INSTR");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        visa.set("fail_find", 0);  // keeps the resource list, clears nothing else
        if (*c.resource != '\0')
            Set("VISA_RESOURCE", c.resource);
        else
            Unset("VISA_RESOURCE");
        const std::string before = visa.log();
        const int ud = driver.ibdev(0, c.pad, c.sad, 12, c.eot, 0);
        ASSERT_GT(ud, 0);
        EXPECT_EQ(driver.status().ibsta, kCmpl);
        const std::string log = visa.log().substr(before.size());
        EXPECT_EQ(Count_lines(log, c.open_line), 1) << log;
        EXPECT_EQ(Count_lines(log, "viSetAttribute 3FFF0038 0"), 1) << log;
        EXPECT_EQ(Count_lines(log, c.end_line), 1) << log;
        driver.ibonl(ud, 0);
    }
}

TEST_F(VisaTest, ReadsReportEndOnlyWhenVisaSawTheEndOfTheMessage) {
    struct Case {
        const char* name;
        std::vector<long> counts;
        std::vector<int> statuses;
        std::vector<int> got;
    } const cases[] = {
        // "ID ?" answers "\"HP54200A\"\r\n" (12 bytes).
        {"whole answer in one read", {100}, {kCmpl | kEnd}, {12}},
        {"count exactly the answer", {12}, {kCmpl | kEnd}, {12}},
        {"cut at the count, then the rest", {4, 100}, {kCmpl, kCmpl | kEnd}, {4, 8}},
        {"byte by byte at the start",
         {1, 1, 1, 100},
         {kCmpl, kCmpl, kCmpl, kCmpl | kEnd},
         {1, 1, 1, 9}},
        {"nothing left: time-out", {100, 100}, {kCmpl | kEnd, kErr | kTmo | kCmpl}, {12, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int ud = driver.open();
        ASSERT_EQ(driver.write(ud, "ID ?").ibsta, kCmpl);
        std::string all;
        for (std::size_t i = 0; i < c.counts.size(); ++i) {
            std::string piece;
            const Status s = driver.read(ud, c.counts[i], piece);
            EXPECT_EQ(s.ibsta, c.statuses[i]) << i;
            EXPECT_EQ(s.ibcnt, c.got[i]) << i;
            if ((s.ibsta & kErr) != 0) {
                EXPECT_EQ(s.iberr, kEabo);
            }
            all += piece;
        }
        EXPECT_EQ(all, "\"HP54200A\"\r\n");
        driver.ibonl(ud, 0);
    }
}

TEST_F(VisaTest, TimeOutsOfVisaBecomeTheBusTimeOut) {
    struct Case {
        const char* name;
        const char* mode;
        bool read;
    } const cases[] = {
        {"write", "timeout_write", false},
        {"read", "timeout_read", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        visa.set("reset", 0);
        const int ud = driver.open();
        visa.set(c.mode, -1);
        std::string got;
        const Status s = c.read ? driver.read(ud, 10, got) : driver.write(ud, "ID ?");
        EXPECT_EQ(s.ibsta, kErr | kTmo | kCmpl);
        EXPECT_EQ(s.iberr, kEabo);
        EXPECT_EQ(s.ibcnt, 0);
        driver.ibonl(ud, 0);
    }
}

TEST_F(VisaTest, EveryOtherVisaErrorIsADriverErrorWithVisasOwnText) {
    struct Case {
        const char* name;
        long long status;
        const char* call;  // "write", "read", "clear", "open"
        const char* text;
    } const cases[] = {
        {"write on a lost connection", kErrorConnLost, "write", "VI_ERROR_CONN_LOST"},
        {"read with an I/O error", kErrorIo, "read", "VI_ERROR_IO"},
        {"clear with a system error", kErrorSystem, "clear", "VI_ERROR_SYSTEM_ERROR"},
        {"attributes refused at open", kErrorIo, "open", "VI_ERROR_IO"},
        {"a code VISA does not describe", 0xBFFF1234, "read", "Unknown status code"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        visa.set("reset", 0);
        const std::string call = c.call;
        int ud = call == "open" ? 0 : driver.open();
        visa.set("fail_every", c.status);
        testing::internal::CaptureStderr();
        std::string got;
        Status s;
        if (call == "write")
            s = driver.write(ud, "ID ?");
        else if (call == "read")
            s = driver.read(ud, 10, got);
        else if (call == "clear")
            s = (driver.ibclr(ud), driver.status());
        else
            s = ((ud = driver.open()), driver.status());
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(s.ibsta, kErr | kCmpl);
        EXPECT_EQ(s.iberr, kEdvr);
        EXPECT_NE(error.find(c.text), std::string::npos) << error;
        EXPECT_NE(error.find("GPIB0::5::INSTR"), std::string::npos) << error;
        visa.set("fail_every", 0);
        if (call == "open")
            EXPECT_EQ(ud, -1);
        else
            driver.ibonl(ud, 0);
    }
}

TEST_F(VisaTest, OpeningFailsWithTheReasonAndLeavesNothingOpen) {
    struct Case {
        const char* name;
        const char* mode;
        long long status;
        const char* resource;
        const char* text;
    } const cases[] = {
        {"resource manager refused", "fail_manager", kErrorSystem, "", "VI_ERROR_SYSTEM_ERROR"},
        {"resource refused", "fail_open", kErrorIo, "", "VI_ERROR_IO"},
        {"resource VISA does not know", "fail_find", 0, "GPIB0::9::INSTR", "VI_ERROR_RSRC_NFOUND"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        visa.set("reset", 0);
        visa.set(c.mode, c.status);
        if (*c.resource != '\0')
            Set("VISA_RESOURCE", c.resource);
        testing::internal::CaptureStderr();
        const int ud = driver.open();
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ud, -1);
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, kEdvr);
        EXPECT_NE(error.find(c.text), std::string::npos) << error;
        EXPECT_EQ(visa.open_sessions(), 0) << visa.log();
        Unset("VISA_RESOURCE");
    }
}

TEST_F(VisaTest, TheResourceManagerIsClosedWithTheLastDevice) {
    visa.set_resources("GPIB0::5::INSTR\nGPIB0::7::INSTR");
    const int first = driver.open(5);
    const int second = driver.open(7);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, first);
    EXPECT_EQ(visa.open_sessions(), 3);  // two devices, one resource manager
    EXPECT_EQ(Count_lines(visa.log(), "viOpenDefaultRM"), 1);
    driver.ibonl(first, 0);
    EXPECT_EQ(visa.open_sessions(), 2);
    EXPECT_EQ(Count_lines(visa.log(), "viClose manager"), 0);
    driver.ibonl(second, 0);
    EXPECT_EQ(visa.open_sessions(), 0);
    EXPECT_EQ(Count_lines(visa.log(), "viClose manager"), 1);
    // Offline twice, or a descriptor never given: refused, nothing closed again.
    for (const int ud : {first, 99}) {
        driver.ibonl(ud, 0);
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
    }
}

TEST_F(VisaTest, ClearIsViClearAndEmptiesTheReply) {
    const int ud = driver.open();
    ASSERT_EQ(driver.write(ud, "ID ?").ibsta, kCmpl);
    driver.ibclr(ud);
    EXPECT_EQ(driver.status().ibsta, kCmpl);
    EXPECT_EQ(Count_lines(visa.log(), "viClear"), 1);
    std::string got;
    EXPECT_EQ(driver.read(ud, 10, got).ibsta, kErr | kTmo | kCmpl);
    driver.ibonl(ud, 0);
}

TEST_F(VisaTest, WritesGoOutWholeWithEnd) {
    const int ud = driver.open();
    const Status s = driver.write(ud, "SYSTEM:HEADER OFF");
    EXPECT_EQ(s.ibsta, kCmpl);
    EXPECT_EQ(s.ibcnt, 17);
    EXPECT_EQ(Count_lines(visa.log(), "viWrite 17 END SYSTEM:HEADER OFF"), 1) << visa.log();
    driver.ibonl(ud, 0);
}

TEST_F(VisaTest, BadArgumentsAreRefusedWithoutCallingVisa) {
    const int ud = driver.open();
    const std::string before = visa.log();
    struct Case {
        const char* name;
        std::function<void()> call;
        int iberr;
    } const cases[] = {
        // A negative count, or on Windows (size_t counts) one beyond what VISA takes.
        {"count out of range", [&] { driver.ibwrt(ud, "x", static_cast<gpib::Count>(-1)); }, kEarg},
        {"read without a buffer", [&] { driver.ibrd(ud, nullptr, 10); }, kEarg},
        {"unknown descriptor", [&] { driver.ibclr(ud + 5); }, kEdvr},
        {"address out of range", [&] { driver.ibdev(0, 31, 0, 12, 1, 0); }, kEarg},
        {"time-out code out of range", [&] { driver.ibdev(0, 5, 0, 18, 1, 0); }, kEarg},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        c.call();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, c.iberr);
    }
    EXPECT_EQ(visa.log(), before);
    driver.ibonl(ud, 0);
}

TEST(VisaLibrary, AMissingVisaOrCallIsRefusedByNameAtOpen) {
    struct Case {
        const char* name;
        std::string library;
        const char* text;
    } const cases[] = {
        {"no such library", "/nonexistent/libvisa.so.0", "no VISA library could be loaded"},
        {"library without viClear", Fake_without_clear_path(), "lacks viClear"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Set("VISA_LIBRARY", c.library);
        Driver driver;
        testing::internal::CaptureStderr();
        EXPECT_EQ(driver.open(), -1);
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(driver.status().ibsta, kErr | kCmpl);
        EXPECT_EQ(driver.status().iberr, kEdvr);
        EXPECT_NE(error.find(c.text), std::string::npos) << error;
        Clear_settings();
    }
}

TEST_F(VisaTest, TheResourceListIsWhatVisaFinds) {
    struct Case {
        const char* name;
        const char* resources;
        long long fail;
        int result;
        const char* list;
    } const cases[] = {
        {"INSTR resources only", "GPIB0::5::INSTR\nGPIB0::INTFC\nUSB0::1::2::S::INSTR", 0, 2,
         "GPIB0::5::INSTR\nUSB0::1::2::S::INSTR\n"},
        {"nothing found", "GPIB0::INTFC", 0, 0, ""},
        {"VISA fails", "GPIB0::5::INSTR", kErrorSystem, -1, "viFindRsrc ?*INSTR: VI_ERROR_SYSTEM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        visa.set("reset", 0);
        visa.set_resources(c.resources);
        visa.set("fail_find", c.fail);
        char list[512];
        EXPECT_EQ(driver.find("?*INSTR", list, sizeof list), c.result);
        EXPECT_EQ(std::string(list).rfind(c.list, 0), 0u) << list;
        EXPECT_EQ(visa.open_sessions(), 0);
    }
}

}  // namespace
