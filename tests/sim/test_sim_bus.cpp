// The simulated scope as a GPIB device: descriptors, status words, reply framing, partial reads,
// time-outs, the injected bus faults, the traffic log and the exports of the variants.
#include <gtest/gtest.h>

#include <memory>

#include "sim/sim_driver.h"
#include "sim_harness.h"

using namespace gpib;
using sim_harness::SimHarness;
using sim_test::SimDriver;

namespace {

class SimBus : public ::testing::Test {
  protected:
    SimHarness sim;
    std::unique_ptr<SimDriver> drv;
    void SetUp() override {
        drv = std::make_unique<SimDriver>();
        ASSERT_TRUE(drv->loaded());
    }
};

TEST_F(SimBus, OpensOnlyBoardZeroAddressFive) {
    struct Case {
        const char* name;
        int board, pad;
        int error;
    } cases[] = {{"wrong board", 1, 5, EARG}, {"wrong address", 0, 7, ENOL}};
    for (const auto& c : cases) {
        EXPECT_EQ(drv->ibdev(c.board, c.pad, 0, 12, 1, 0), -1) << c.name;
        EXPECT_TRUE(*drv->ibsta & ERR) << c.name;
        EXPECT_EQ(*drv->iberr, c.error) << c.name;
    }
    const int ud = drv->open();
    EXPECT_GT(ud, 0);
    EXPECT_EQ(*drv->ibsta, CMPL);
}

TEST_F(SimBus, WrongDescriptorFailsWithEdvr) {
    const int ud = drv->open();
    drv->write(ud + 1, "ID ?");
    EXPECT_TRUE(*drv->ibsta & ERR);
    EXPECT_EQ(*drv->iberr, EDVR);
    drv->ibonl(ud, 0);
    drv->ibclr(ud);  // offline descriptors are no longer valid
    EXPECT_EQ(*drv->iberr, EDVR);
}

TEST_F(SimBus, IdentityIsTwelveBytesEndingCrLfWithEnd) {
    const int ud = drv->open();
    drv->ibclr(ud);
    EXPECT_EQ(drv->query(ud, "ID ?", 1024), "\"HP54200A\"\r\n");
    EXPECT_EQ(*drv->ibcnt, 12);
    EXPECT_EQ(*drv->ibsta, CMPL | END);
}

TEST_F(SimBus, PartialReadsKeepTheRestAndEndOnlyOnTheLastByte) {
    const int ud = drv->open();
    drv->write(ud, "ID ?");
    EXPECT_EQ(drv->read(ud, 5), "\"HP54");
    EXPECT_EQ(*drv->ibsta, CMPL);
    EXPECT_EQ(drv->read(ud, 5), "200A\"");
    EXPECT_EQ(*drv->ibsta & END, 0);
    EXPECT_EQ(drv->read(ud, 5), "\r\n");
    EXPECT_EQ(*drv->ibsta, CMPL | END);
}

TEST_F(SimBus, EmptyReadTimesOut) {
    const int ud = drv->open();
    drv->read(ud, 10);
    EXPECT_EQ(*drv->ibsta, ERR | TMO | CMPL);
    EXPECT_EQ(*drv->iberr, EABO);
    EXPECT_EQ(*drv->ibcnt, 0);
    // and after a reply was read to its end
    drv->query(ud, "ID ?");
    drv->read(ud, 10);
    EXPECT_EQ(*drv->ibsta & (ERR | TMO), ERR | TMO);
}

TEST_F(SimBus, NewCommandDiscardsUnreadReply) {
    const int ud = drv->open();
    drv->write(ud, "ID ?");
    drv->read(ud, 3);
    drv->write(ud, "HEADER OFF");
    drv->read(ud, 10);
    EXPECT_EQ(*drv->ibsta & TMO, TMO);
}

TEST_F(SimBus, DeviceClearDiscardsUnreadReply) {
    const int ud = drv->open();
    drv->write(ud, "ID ?");
    drv->ibclr(ud);
    EXPECT_EQ(*drv->ibsta, CMPL);
    drv->read(ud, 10);
    EXPECT_EQ(*drv->ibsta & TMO, TMO);
}

TEST_F(SimBus, IdentityOverrideIsSentAsRawBytes) {
    sim.set("HP_SIM_REPLY_ID", "HP54200A\\n\\x00\\x7f");
    const int ud = drv->open();
    EXPECT_EQ(drv->query(ud, "ID ?"), std::string("HP54200A\n\0\x7f", 11));
}

TEST_F(SimBus, UnknownCommandIsAcceptedAndMarkedInTheLog) {
    const int ud = drv->open();
    drv->write(ud, "FROBNICATE");
    EXPECT_EQ(*drv->ibsta, CMPL);
    EXPECT_EQ(*drv->ibcnt, 10);
    const auto log = sim.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().args, "ud=1 count=10 ignored");
}

// --- injected faults -------------------------------------------------------------------------

TEST_F(SimBus, IbdevAndIbclrFailOnRequest) {
    sim.set("HP_SIM_FAIL_IBDEV", "1");
    EXPECT_EQ(drv->open(), -1);
    EXPECT_TRUE(*drv->ibsta & ERR);
    sim.unset("HP_SIM_FAIL_IBDEV");
    // No board: a system error, its number in the count, and no traffic to the scope.
    sim.set("HP_SIM_NO_BOARD", "1");
    EXPECT_EQ(drv->open(), -1);
    EXPECT_EQ(*drv->ibsta, ERR | CMPL);
    EXPECT_EQ(*drv->iberr, EDVR);
    EXPECT_EQ(*drv->ibcnt, ENOENT);
    sim.unset("HP_SIM_NO_BOARD");
    sim.set("HP_SIM_FAIL_IBCLR", "1");
    const int ud = drv->open();  // settings are read afresh at every ibdev
    ASSERT_GT(ud, 0);
    drv->ibclr(ud);
    EXPECT_TRUE(*drv->ibsta & ERR);
}

TEST_F(SimBus, NthWriteOfACommandFailsOrTimesOut) {
    struct Case {
        const char* name;
        const char* variable;
        int status;
        int error;
    } cases[] = {
        {"failure", "HP_SIM_FAIL_WRITE", ERR | CMPL, ENOL},
        {"time-out", "HP_SIM_TIMEOUT_WRITE", ERR | TMO | CMPL, EABO},
    };
    for (const auto& c : cases) {
        sim.set(c.variable, "ID ?@2;HEADER OFF@1");
        const int ud = drv->open();
        std::vector<int> status;
        for (const char* cmd : {"HEADER OFF", "ID ?", "HEADER OFF", "ID ?", "ID ?"}) {
            drv->write(ud, cmd);
            status.push_back(*drv->ibsta);
        }
        EXPECT_EQ(status, (std::vector<int>{c.status, CMPL, CMPL, c.status, CMPL})) << c.name;
        sim.unset(c.variable);
    }
    // A failed query never reached the scope: nothing to read.
    sim.set("HP_SIM_FAIL_WRITE", "ID ?");
    const int ud = drv->open();
    drv->write(ud, "ID ?");
    EXPECT_EQ(*drv->iberr, ENOL);
    drv->read(ud);
    EXPECT_EQ(*drv->ibsta & TMO, TMO);
}

TEST_F(SimBus, NthReadSinceIbdevFailsOrTimesOut) {
    struct Case {
        const char* name;
        const char* variable;
        int status;
        int error;
    } cases[] = {
        {"failure", "HP_SIM_FAIL_READ", ERR | CMPL, ENOL},
        {"time-out", "HP_SIM_TIMEOUT_READ", ERR | TMO | CMPL, EABO},
    };
    for (const auto& c : cases) {
        sim.set(c.variable, "3");
        const int ud = drv->open();
        std::vector<int> status;
        for (int i = 0; i < 4; ++i) {
            drv->write(ud, "ID ?");
            drv->read(ud);
            status.push_back(*drv->ibsta);
        }
        EXPECT_EQ(status, (std::vector<int>{CMPL | END, CMPL | END, c.status, CMPL | END}))
            << c.name;
        EXPECT_EQ(*drv->ibcnt, 12);
        sim.unset(c.variable);
    }
}

// --- the traffic log -------------------------------------------------------------------------

TEST_F(SimBus, LogRecordsEveryCallWithItsBytesAndStatus) {
    const int ud = drv->open();
    drv->write(ud, "ID ?");
    drv->read(ud, 100);
    drv->ibonl(ud, 0);
    const auto log = sim.log();
    ASSERT_EQ(sim.calls(), (std::vector<std::string>{"load", "ibdev", "ibwrt", "ibrd", "ibonl"}));
    EXPECT_EQ(log[1].args, "board=0 pad=5 sad=0 tmo=12 eot=1 eos=0");
    EXPECT_EQ(sim.writes(), std::vector<std::string>{"ID ?"});
    EXPECT_EQ(sim.reads(), std::vector<std::string>{"\"HP54200A\"\r\n"});
    EXPECT_EQ(log[3].status, CMPL | END);
    EXPECT_EQ(log[3].ibcnt, 12);
    for (std::size_t i = 1; i < log.size(); ++i) EXPECT_GE(log[i].time, log[i - 1].time);
}

TEST_F(SimBus, LogEscapesBinaryBytesReversibly) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const int ud = drv->open();
    drv->write(ud, all);
    ASSERT_EQ(sim.writes().size(), 1u);
    EXPECT_EQ(sim.writes()[0], all);
}

TEST(SimLoad, LogMarksLoadAndUnload) {
    SimHarness sim;
    {
        SimDriver drv;
        ASSERT_TRUE(drv.loaded());
        drv.open();
    }
    EXPECT_EQ(sim.calls(), (std::vector<std::string>{"load", "ibdev", "unload"}));
}

// --- variants --------------------------------------------------------------------------------

TEST(SimVariants, ExportTheirStatusFormsAndFunctions) {
    const char* common[] = {"DevClear", "FindLstn", "ReadStatusByte", "SendIFC", "ibclr",
                            "ibdev",    "ibonl",    "ibrd",           "ibwrt"};
    struct Case {
        const char* library;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        // On Windows, as NI's driver there, with the per-thread accessors too.
        portable::windows
            ? Case{"hp54200a_sim",
                   {"user_ibsta", "user_iberr", "user_ibcnt", "WaitSRQ", "ThreadIbsta"},
                   {"ibsta"}}
            : Case{"hp54200a_sim",
                   {"user_ibsta", "user_iberr", "user_ibcnt", "WaitSRQ"},
                   {"ThreadIbsta", "ibsta"}},
        {"hp54200a_sim_no_waitsrq", {"user_ibsta"}, {"WaitSRQ"}},
        {"hp54200a_sim_no_status",
         {"WaitSRQ"},
         {"user_ibsta", "user_iberr", "user_ibcnt", "ThreadIbsta", "ibsta", "iberr", "ibcnt"}},
        {"hp54200a_sim_thread_status",
         {"ThreadIbsta", "ThreadIberr", "ThreadIbcnt", "user_ibsta", "user_iberr", "user_ibcnt"},
         {"ibsta"}},
        {"hp54200a_sim_plain_status",
         {"ibsta", "iberr", "ibcnt", "WaitSRQ"},
         {"user_ibsta", "ThreadIbsta"}},
    };
    for (const auto& c : cases) {
        const SimDriver h(sim_test::sim_library_path(c.library));
        ASSERT_NE(h.handle, nullptr);
        for (const char* name : common)
            EXPECT_NE(h.symbol<void*>(name), nullptr) << c.library << name;
        for (const auto& name : c.present)
            EXPECT_NE(h.symbol<void*>(name.c_str()), nullptr) << c.library << name;
        for (const auto& name : c.absent)
            EXPECT_EQ(h.symbol<void*>(name.c_str()), nullptr) << c.library << name;
    }
}

TEST(SimVariants, ThreadAccessorsTellTheTruthWhileVariablesStayStale) {
    SimHarness sim;
    const SimDriver h(sim_test::sim_library_path("hp54200a_sim_thread_status"));
    ASSERT_NE(h.handle, nullptr);
    auto ibdev = h.symbol<ibdev_fn>("ibdev");
    auto ibwrt = h.symbol<ibwrt_fn>("ibwrt");
    auto sta = h.symbol<ThreadIbsta_fn>("ThreadIbsta");
    auto cnt = h.symbol<ThreadIbcnt_fn>("ThreadIbcnt");
    auto* stale = h.symbol<int*>("user_ibsta");
    ASSERT_TRUE(ibdev && ibwrt && sta && cnt && stale);
    const int ud = ibdev(0, 5, 0, 12, 1, 0);
    ibwrt(ud, "ID ?", 4);
    EXPECT_EQ(sta(), CMPL);
    EXPECT_EQ(cnt(), 4);
    EXPECT_TRUE(*stale & ERR);
}

TEST(SimVariants, PlainVariablesCarryTheStatus) {
    SimHarness sim;
    const SimDriver h(sim_test::sim_library_path("hp54200a_sim_plain_status"));
    ASSERT_NE(h.handle, nullptr);
    auto ibdev = h.symbol<ibdev_fn>("ibdev");
    auto ibrd = h.symbol<ibrd_fn>("ibrd");
    auto* sta = h.symbol<int*>("ibsta");
    auto* err = h.symbol<int*>("iberr");
    ASSERT_TRUE(ibdev && ibrd && sta && err);
    char buf[8];
    ibrd(ibdev(0, 5, 0, 12, 1, 0), buf, 8);
    EXPECT_EQ(*sta, ERR | TMO | CMPL);
    EXPECT_EQ(*err, EABO);
}

}  // namespace
