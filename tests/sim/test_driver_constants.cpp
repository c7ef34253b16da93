// The simulated driver and the program each keep a copy of the NI-488.2 status bits and error
// codes. Both were written from the driver's table; a slip in either shows here instead of being
// mirrored by the other side.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "scope/gpib_defs.h"
#include "sim/driver_defs.h"

namespace {

struct Pair {
    const char* name;
    int program;
    int simulator;
};

#define HP_PAIR(n)                 \
    Pair {                         \
#n, gpib::n, sim::ni488::n \
    }

TEST(DriverConstants, ProgramAndSimulatorAgreeOnEveryStatusBitAndErrorCode) {
    const std::vector<Pair> pairs = {
        HP_PAIR(ERR),   HP_PAIR(TMO),  HP_PAIR(END),  HP_PAIR(SRQI), HP_PAIR(RQS),  HP_PAIR(SPOLL),
        HP_PAIR(EVENT), HP_PAIR(CMPL), HP_PAIR(LOK),  HP_PAIR(REM),  HP_PAIR(CIC),  HP_PAIR(ATN),
        HP_PAIR(TACS),  HP_PAIR(LACS), HP_PAIR(DTAS), HP_PAIR(DCAS), HP_PAIR(EDVR), HP_PAIR(ECIC),
        HP_PAIR(ENOL),  HP_PAIR(EADR), HP_PAIR(EARG), HP_PAIR(ESAC), HP_PAIR(EABO), HP_PAIR(ENEB),
        HP_PAIR(EDMA),  HP_PAIR(EOIP), HP_PAIR(ECAP), HP_PAIR(EFSO), HP_PAIR(EBUS), HP_PAIR(ESTB),
        HP_PAIR(ESRQ),  HP_PAIR(ETAB)};
    for (const auto& p : pairs) EXPECT_EQ(p.program, p.simulator) << p.name;
    // The sixteen status bits are the sixteen distinct bits of the word.
    int bits = 0;
    for (std::size_t i = 0; i < 16; ++i) bits |= pairs[i].simulator;
    EXPECT_EQ(bits, 0xFFFF);
}

#undef HP_PAIR

}  // namespace
