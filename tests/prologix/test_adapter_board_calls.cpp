// The board-level entry points on each dialect: the adapter command each one maps to, and ECAP
// where the adapter has none (a Prologix cannot search for listeners nor clear the whole bus).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support_driver.h"
#include "support_fake_adapter.h"

namespace {

using fake_adapter::Dialect;

constexpr int ERR = 0x8000;
constexpr int TMO = 0x4000;
constexpr int ECAP = 11;
constexpr short kNoAddr = -1;  // 0xFFFF
constexpr int kT100ms = 9;

TEST(AdapterBoardCalls, EachMapsToItsAdapterCommandOrFailsWithEcap) {
    for (Dialect dialect : {Dialect::prologix, Dialect::ar488}) {
        const bool ar488 = dialect == Dialect::ar488;
        SCOPED_TRACE(ar488 ? "AR488" : "Prologix");
        fake_adapter::EchoInstrument echo;
        fake_adapter::FakeAdapter adapter({dialect}, echo);
        setenv("PROLOGIX_PORT", adapter.port().c_str(), 1);
        prologix_test::Driver d;
        ASSERT_GT(d.open(kT100ms), 0);

        d.SendIFC(0);
        EXPECT_EQ(d.sta() & ERR, 0);
        short status_byte = -1;
        d.ReadStatusByte(0, 5, &status_byte);
        EXPECT_EQ(d.sta() & ERR, 0);
        EXPECT_EQ(status_byte, 0);
        d.DevClear(0, 5);
        EXPECT_EQ(d.sta() & ERR, 0);
        short srq = -1;
        d.WaitSRQ(0, &srq);  // the fake never asserts SRQ: the wait runs out
        EXPECT_EQ(d.sta() & (ERR | TMO), TMO);
        EXPECT_EQ(srq, 0);

        const short pads[] = {3, 5, 7, kNoAddr};
        short found[4] = {};
        d.FindLstn(0, pads, found, 4);
        EXPECT_EQ(d.sta() & ERR, ar488 ? 0 : ERR);
        EXPECT_EQ(d.cnt(), ar488 ? 1 : 0);
        if (ar488)
            EXPECT_EQ(found[0], 5);
        else
            EXPECT_EQ(d.err(), ECAP);
        d.DevClear(0, kNoAddr);
        EXPECT_EQ(d.sta() & ERR, ar488 ? 0 : ERR);
        d.ReadStatusByte(0, 5, &status_byte);  // answered after the fake has seen all before

        std::vector<std::string> sent = adapter.commands();
        // What came after the set-up, whose last command is the read time-out.
        sent.erase(sent.begin(), std::find(sent.begin(), sent.end(), "++read_tmo_ms 50") + 1);
        sent.erase(std::remove(sent.begin(), sent.end(), "++srq"), sent.end());
        std::vector<std::string> expected = {"++ifc", "++spoll 5", "++addr 5", "++clr", "++addr 5"};
        if (ar488)
            expected.insert(expected.end(), {"++fndl 3,5,7", "++dcl"});
        expected.push_back("++spoll 5");
        EXPECT_EQ(sent, expected);
        unsetenv("PROLOGIX_PORT");
    }
}

}  // namespace
