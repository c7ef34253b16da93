// The NI-488.2 status word bits, error codes and time-out codes that this driver reports and
// accepts, written from the NI-488.2 reference tables. The driver keeps its own copy: it shares
// nothing with the programs that load it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace prologix {

// Status word (ibsta) bits used by this driver.
inline constexpr int ERR = 0x8000;
inline constexpr int TMO = 0x4000;
inline constexpr int END = 0x2000;
inline constexpr int CMPL = 0x0100;

// Error codes (iberr).
inline constexpr int EDVR = 0;  // system error: ibcnt holds errno
inline constexpr int ENOL = 2;
inline constexpr int EARG = 4;
inline constexpr int EABO = 6;  // I/O aborted (time-out)
inline constexpr int ENEB = 7;  // no GPIB board
inline constexpr int ECAP = 11;

// The byte counts of ibrd and ibwrt and the limit of FindLstn, as the program binds them: long
// and int in the Linux driver's header; size_t in NI's 64-bit Windows header (ni4882.h), where
// long is only 32 bits.
#if defined(_WIN64)
using Count = std::size_t;
using ListLimit = std::size_t;
#elif defined(_WIN32)
#error "32-bit Windows needs NI's 32-bit declarations (long counts, __stdcall): not supported"
#else
using Count = long;
using ListLimit = int;
#endif

// A count or limit below zero, which only the signed types of the Linux declarations can hold.
template <typename T>
constexpr bool is_negative(T value) {
    if constexpr (std::is_signed_v<T>)
        return value < 0;
    else
        return false;
}

// NI-488.2 "no address" marker of the address lists (FindLstn, DevClear).
inline constexpr int kNoAddr = 0xFFFF;

// The limit of a T-code (TNONE .. T1000s) in milliseconds; 0 = no limit, -1 = not a T-code.
inline long timeout_code_ms(int code) {
    // T10us..T3ms round up to 1 ms: the host cannot time anything shorter.
    static constexpr long kMs[] = {0,   1,   1,    1,    1,     1,     3,      10,     30,
                                   100, 300, 1000, 3000, 10000, 30000, 100000, 300000, 1000000};
    if (code < 0 || code >= static_cast<int>(sizeof kMs / sizeof kMs[0]))
        return -1;
    return kMs[code];
}

}  // namespace prologix
