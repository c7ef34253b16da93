// The simulated driver's own copy of the NI-488.2 status bits and error codes, written from the
// driver's published table as any separate driver library would have it. The program keeps its
// copy in scope/gpib_defs.h; a test compares the two so that neither drifts unseen.
#pragma once

#include <cstddef>

namespace sim::ni488 {

// The byte counts of ibrd and ibwrt and the limit of FindLstn: long and int as in the Linux
// driver's headers, size_t as in NI's 64-bit Windows header.
#if defined(_WIN64)
using Count = std::size_t;
using ListLimit = std::size_t;
#else
using Count = long;
using ListLimit = int;
#endif

// Status word bits (ibsta).
inline constexpr int ERR = 0x8000;
inline constexpr int TMO = 0x4000;
inline constexpr int END = 0x2000;
inline constexpr int SRQI = 0x1000;
inline constexpr int RQS = 0x0800;
inline constexpr int SPOLL = 0x0400;
inline constexpr int EVENT = 0x0200;
inline constexpr int CMPL = 0x0100;
inline constexpr int LOK = 0x0080;
inline constexpr int REM = 0x0040;
inline constexpr int CIC = 0x0020;
inline constexpr int ATN = 0x0010;
inline constexpr int TACS = 0x0008;
inline constexpr int LACS = 0x0004;
inline constexpr int DTAS = 0x0002;
inline constexpr int DCAS = 0x0001;

// Error codes (iberr).
inline constexpr int EDVR = 0;
inline constexpr int ECIC = 1;
inline constexpr int ENOL = 2;
inline constexpr int EADR = 3;
inline constexpr int EARG = 4;
inline constexpr int ESAC = 5;
inline constexpr int EABO = 6;
inline constexpr int ENEB = 7;
inline constexpr int EDMA = 8;
inline constexpr int EOIP = 10;
inline constexpr int ECAP = 11;
inline constexpr int EFSO = 12;
inline constexpr int EBUS = 14;
inline constexpr int ESTB = 15;
inline constexpr int ESRQ = 16;
inline constexpr int ETAB = 20;

}  // namespace sim::ni488
