// The driver ABI as the program binds it: the status word bits, the error codes and the time-out
// codes of NI-488.2, kept here in the driver's own copy (a driver shares no code with the
// program that loads it).
#pragma once

#include <cstdint>

namespace vxi11 {

// Status word bits (ibsta).
inline constexpr int ERR = 0x8000;
inline constexpr int TMO = 0x4000;
inline constexpr int END = 0x2000;
inline constexpr int CMPL = 0x0100;

// Error codes (iberr).
inline constexpr int EDVR = 0;
inline constexpr int ENOL = 2;
inline constexpr int EARG = 4;
inline constexpr int EABO = 6;
inline constexpr int ENEB = 7;
inline constexpr int ECAP = 11;

// ibdev's eos argument: the end-of-string character in the low byte, REOS to end reads on it.
inline constexpr int REOS = 0x0400;

// The time-out codes TNONE, T10us .. T1000s in milliseconds (0 = no limit). Codes below 1 ms
// round up to 1 ms, the resolution of a VXI-11 time-out.
inline constexpr int kTimeoutCodes = 18;
inline constexpr uint32_t kTimeoutMs[kTimeoutCodes] = {
    0, 1, 1, 1, 1, 1, 3, 10, 30, 100, 300, 1000, 3000, 10000, 30000, 100000, 300000, 1000000};

}  // namespace vxi11
