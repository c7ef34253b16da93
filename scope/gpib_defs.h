// Declarations of the NI-488.2 driver interface as the program and the simulated scope both see
// it: the status bits, the error codes and the signatures of the entry points. Nothing else is
// shared between the two.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gpib {

// Status word bits (low 16 bits of ibsta).
inline constexpr int32_t ERR = 0x8000;
inline constexpr int32_t TMO = 0x4000;
inline constexpr int32_t END = 0x2000;
inline constexpr int32_t SRQI = 0x1000;
inline constexpr int32_t RQS = 0x0800;
inline constexpr int32_t SPOLL = 0x0400;
inline constexpr int32_t EVENT = 0x0200;
inline constexpr int32_t CMPL = 0x0100;
inline constexpr int32_t LOK = 0x0080;
inline constexpr int32_t REM = 0x0040;
inline constexpr int32_t CIC = 0x0020;
inline constexpr int32_t ATN = 0x0010;
inline constexpr int32_t TACS = 0x0008;
inline constexpr int32_t LACS = 0x0004;
inline constexpr int32_t DTAS = 0x0002;
inline constexpr int32_t DCAS = 0x0001;

// Error codes (iberr).
inline constexpr int32_t EDVR = 0;
inline constexpr int32_t ECIC = 1;
inline constexpr int32_t ENOL = 2;
inline constexpr int32_t EADR = 3;
inline constexpr int32_t EARG = 4;
inline constexpr int32_t ESAC = 5;
inline constexpr int32_t EABO = 6;
inline constexpr int32_t ENEB = 7;
inline constexpr int32_t EDMA = 8;
inline constexpr int32_t EOIP = 10;
inline constexpr int32_t ECAP = 11;
inline constexpr int32_t EFSO = 12;
inline constexpr int32_t EBUS = 14;
inline constexpr int32_t ESTB = 15;
inline constexpr int32_t ESRQ = 16;
inline constexpr int32_t ETAB = 20;

// The byte counts of ibrd and ibwrt and the limit of FindLstn, as the system's driver headers
// declare them: long and int in the Linux driver's; size_t in NI's 64-bit Windows header
// (ni4882.h), where long would be only 32 bits. (Its calling convention, __stdcall, is the one
// convention of x64.)
#if defined(_WIN64)
using Count = std::size_t;
using ListLimit = std::size_t;
#elif defined(_WIN32)
#error "32-bit Windows needs NI's 32-bit declarations (long counts, __stdcall): not supported"
#else
using Count = long;
using ListLimit = int;
#endif

// Entry points, with the argument types of the system's driver headers.
extern "C" {
using ibdev_fn = int (*)(int board, int pad, int sad, int tmo, int eot, int eos);
using ibclr_fn = int (*)(int ud);
using ibwrt_fn = int (*)(int ud, const void* buf, Count count);
using ibrd_fn = int (*)(int ud, void* buf, Count count);
using ibonl_fn = int (*)(int ud, int v);
using DevClear_fn = void (*)(int board, short address);
using FindLstn_fn = void (*)(int board, const short* pads, short* results, ListLimit limit);
using ReadStatusByte_fn = void (*)(int board, short address, short* result);
using SendIFC_fn = void (*)(int board);
using WaitSRQ_fn = void (*)(int board, short* result);
using ThreadIbsta_fn = int (*)();
using ThreadIberr_fn = int (*)();
using ThreadIbcnt_fn = int (*)();
}

}  // namespace gpib
