// The VISA library's types, constants and entry points as the VISA standard (VPP-4.3, the VISA
// library; VPP-4.3.2, its C binding) defines them, declared here by this driver itself: the
// system's VISA is found and bound at run time, and no vendor's header is needed to build.
// The NI-488.2 side of the driver (status bits, error codes, time-out codes) is here too, in
// the driver's own copy: a driver shares no code with the program that loads it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace visa {

// Basic types. ViUInt32 and ViInt32 are 32 bits on every platform (unsigned long on Windows,
// unsigned int elsewhere); a session, a find list and any object are ViUInt32. An attribute's
// value is 64 bits wide on 64-bit systems.
using ViUInt32 = std::uint32_t;
using ViInt32 = std::int32_t;
using ViUInt16 = std::uint16_t;
using ViStatus = ViInt32;
using ViObject = ViUInt32;
using ViSession = ViObject;
using ViFindList = ViObject;
using ViAttr = ViUInt32;
using ViAccessMode = ViUInt32;
#if UINTPTR_MAX > 0xFFFFFFFFu
using ViAttrState = std::uint64_t;
#else
using ViAttrState = ViUInt32;
#endif
using ViChar = char;
using ViByte = unsigned char;

// Completion and error codes used here (VPP-4.3, section 3.3).
inline constexpr ViStatus VI_SUCCESS = 0;
inline constexpr ViStatus VI_SUCCESS_TERM_CHAR = 0x3FFF0005;
inline constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
inline constexpr ViStatus VI_ERROR_SYSTEM_ERROR = static_cast<ViStatus>(0xBFFF0000u);
inline constexpr ViStatus VI_ERROR_INV_OBJECT = static_cast<ViStatus>(0xBFFF000Eu);
inline constexpr ViStatus VI_ERROR_RSRC_NFOUND = static_cast<ViStatus>(0xBFFF0011u);
inline constexpr ViStatus VI_ERROR_TMO = static_cast<ViStatus>(0xBFFF0015u);
inline constexpr ViStatus VI_ERROR_IO = static_cast<ViStatus>(0xBFFF003Eu);
inline constexpr ViStatus VI_ERROR_CONN_LOST = static_cast<ViStatus>(0xBFFF00A6u);

// Attributes set on an INSTR session.
inline constexpr ViAttr VI_ATTR_SEND_END_EN = 0x3FFF0016;
inline constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001A;
inline constexpr ViAttr VI_ATTR_TERMCHAR_EN = 0x3FFF0038;

inline constexpr ViSession VI_NULL = 0;
inline constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFFu;
inline constexpr ViAttrState VI_TRUE = 1;
inline constexpr ViAttrState VI_FALSE = 0;
// The size of the buffers viStatusDesc, viFindRsrc and viFindNext write into.
inline constexpr std::size_t VI_FIND_BUFLEN = 256;

// The calling convention of the VISA calls: __stdcall on Windows (the one convention of x64).
#if defined(_WIN32)
#define VISA_CALL __stdcall
#else
#define VISA_CALL
#endif

extern "C" {
using viOpenDefaultRM_fn = ViStatus(VISA_CALL*)(ViSession* rm);
using viOpen_fn = ViStatus(VISA_CALL*)(ViSession rm, const ViChar* name, ViAccessMode mode,
                                       ViUInt32 open_timeout, ViSession* vi);
using viClose_fn = ViStatus(VISA_CALL*)(ViObject vi);
using viSetAttribute_fn = ViStatus(VISA_CALL*)(ViObject vi, ViAttr attribute, ViAttrState value);
using viRead_fn = ViStatus(VISA_CALL*)(ViSession vi, ViByte* buffer, ViUInt32 count,
                                       ViUInt32* returned);
using viWrite_fn = ViStatus(VISA_CALL*)(ViSession vi, const ViByte* buffer, ViUInt32 count,
                                        ViUInt32* returned);
using viClear_fn = ViStatus(VISA_CALL*)(ViSession vi);
using viStatusDesc_fn = ViStatus(VISA_CALL*)(ViObject vi, ViStatus status, ViChar* description);
using viFindRsrc_fn = ViStatus(VISA_CALL*)(ViSession rm, const ViChar* expression, ViFindList* list,
                                           ViUInt32* count, ViChar* first);
using viFindNext_fn = ViStatus(VISA_CALL*)(ViFindList list, ViChar* next);
}

// The NI-488.2 status word bits and error codes this driver reports.
inline constexpr int ERR = 0x8000;
inline constexpr int TMO = 0x4000;
inline constexpr int END = 0x2000;
inline constexpr int CMPL = 0x0100;
inline constexpr int EDVR = 0;
inline constexpr int EARG = 4;
inline constexpr int EABO = 6;
inline constexpr int ECAP = 11;

// The byte counts of ibrd and ibwrt as the program binds them: long in the Linux driver's
// header, size_t in NI's 64-bit Windows header.
#if defined(_WIN64)
using Count = std::size_t;
using ListLimit = std::size_t;
#else
using Count = long;
using ListLimit = int;
#endif

// The time-out codes TNONE, T10us .. T1000s in milliseconds (VISA's resolution; codes below
// 1 ms round up to 1 ms); TNONE is VISA's infinite time-out.
inline constexpr int kTimeoutCodes = 18;
inline constexpr ViUInt32 kTimeoutMs[kTimeoutCodes] = {
    VI_TMO_INFINITE, 1,     1,      1,      1,      1, 3, 10, 30, 100, 300, 1000, 3000,
    10000,           30000, 100000, 300000, 1000000};

}  // namespace visa
