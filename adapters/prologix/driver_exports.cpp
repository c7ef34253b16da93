// The driver's entry points under the NI-488.2 names, and its status form: the per-thread
// accessors ThreadIbsta, ThreadIberr and ThreadIbcnt. One device is open at a time, on the
// adapter named by PROLOGIX_PORT; board 0 is the adapter.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>

#include "adapters/prologix/driver_constants.h"
#include "adapters/prologix/session.h"

#if defined(_WIN32)
#define PROLOGIX_EXPORT extern "C" __declspec(dllexport)
#else
#define PROLOGIX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using namespace prologix;

constexpr int kDescriptor = 1;
#if defined(_WIN32)
constexpr const char* kLibraryName = "gpib_prologix.dll";
#else
constexpr const char* kLibraryName = "libgpib_prologix.so";
#endif

thread_local int status_word = 0;
thread_local int error_code = 0;
thread_local long byte_count = 0;

// Destroyed when the library is unloaded, which closes the port: the program releases the
// library at Quit without taking the device offline first.
Session session;

int report(const CallResult& r) {
    status_word = r.status | CMPL;
    error_code = (r.status & ERR) != 0 ? r.error : 0;
    byte_count = r.count;
    return status_word;
}

int fail(int error, long count = 0) {
    return report(CallResult{ERR, error, count});
}

bool bad_descriptor(int ud) {
    return ud != kDescriptor || !session.is_open();
}

bool valid_address(int pad, int sad) {
    return pad >= 0 && pad <= 30 && (sad == 0 || (sad >= 0x60 && sad <= 0x7E));
}

// The address forms of the board-level calls: primary in the low byte, secondary in the high.
std::string address_text(int address) {
    const int pad = address & 0xFF;
    const int sad = (address >> 8) & 0xFF;
    return std::to_string(pad) + (sad != 0 ? " " + std::to_string(sad) : "");
}

bool board_ready(int board) {
    if (board != 0) {
        fail(EARG);
        return false;
    }
    if (!session.is_open()) {
        fail(ENEB);
        return false;
    }
    return true;
}

}  // namespace

PROLOGIX_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    (void)eot;  // EOI with every last byte and no end-of-string: the adapter is set so
    (void)eos;
    const long call_ms = timeout_code_ms(tmo);
    if (board != 0 || !valid_address(pad, sad) || call_ms < 0) {
        fail(EARG);
        return -1;
    }
    std::string why;
    if (const int e = session.open(pad, sad, call_ms, why); e != 0) {
        std::fprintf(stderr, "%s: no GPIB board: adapter at PROLOGIX_PORT=%s: %s\n", kLibraryName,
                     session.where().empty() ? "(unset)" : session.where().c_str(), why.c_str());
        fail(ENEB);
        return -1;
    }
    report(CallResult{});
    return kDescriptor;
}

PROLOGIX_EXPORT int ibclr(int ud) {
    if (bad_descriptor(ud))
        return fail(EDVR);
    return report(session.clear());
}

// The session counts in long, which is 32 bits on Windows: a write beyond it is refused (it could
// not be reported in ibcnt either), a read asks for at most that much, as a read may end early.
PROLOGIX_EXPORT int ibwrt(int ud, const void* buf, Count count) {
    if (bad_descriptor(ud))
        return fail(EDVR);
    if (is_negative(count) || (buf == nullptr && count > 0) ||
        static_cast<unsigned long long>(count) > LONG_MAX)
        return fail(EARG);
    return report(session.write(static_cast<const char*>(buf), static_cast<long>(count)));
}

PROLOGIX_EXPORT int ibrd(int ud, void* buf, Count count) {
    if (bad_descriptor(ud))
        return fail(EDVR);
    if (is_negative(count) || (buf == nullptr && count > 0))
        return fail(EARG);
    const long asked =
        static_cast<unsigned long long>(count) > LONG_MAX ? LONG_MAX : static_cast<long>(count);
    return report(session.read(static_cast<char*>(buf), asked));
}

PROLOGIX_EXPORT int ibonl(int ud, int v) {
    if (bad_descriptor(ud))
        return fail(EDVR);
    if (v == 0)
        session.close();
    return report(CallResult{});
}

PROLOGIX_EXPORT void SendIFC(int board) {
    if (board_ready(board))
        report(session.command("++ifc"));  // Prologix 8.8 ifc; AR488 ++ifc
}

PROLOGIX_EXPORT void DevClear(int board, short address) {
    if (!board_ready(board))
        return;
    const int a = static_cast<unsigned short>(address);
    if (a == kNoAddr) {
        // Device clear of the whole bus: only the AR488 has it (AR488 manual, ++dcl).
        if (session.dialect() != Dialect::ar488) {
            fail(ECAP);
            return;
        }
        report(session.command("++dcl"));
        return;
    }
    // "++clr" clears the addressed instrument; the open device's address is put back after.
    CallResult r = session.command("++addr " + address_text(a));
    if (r.status == 0)
        r = session.command("++clr");
    const CallResult back = session.reset_address();
    report(r.status != 0 ? r : back);
}

PROLOGIX_EXPORT void ReadStatusByte(int board, short address, short* result) {
    if (!board_ready(board))
        return;
    if (result == nullptr) {
        fail(EARG);
        return;
    }
    // "++spoll PAD [SAD]" answers the status byte in decimal (Prologix 8.17 spoll; AR488 ++spoll).
    std::string answer;
    const CallResult r =
        session.query("++spoll " + address_text(static_cast<unsigned short>(address)), answer);
    if (r.status != 0) {
        report(r);
        return;
    }
    char* end = nullptr;
    const long value = std::strtol(answer.c_str(), &end, 10);
    if (end == answer.c_str() || value < 0 || value > 255) {
        fail(EDVR, EIO);  // a garbled answer
        return;
    }
    *result = static_cast<short>(value);
    report(CallResult{});
}

PROLOGIX_EXPORT void FindLstn(int board, const short* pads, short* results, ListLimit limit) {
    if (!board_ready(board))
        return;
    if (pads == nullptr || results == nullptr || is_negative(limit)) {
        fail(EARG);
        return;
    }
    if (session.dialect() != Dialect::ar488) {
        fail(ECAP);  // a Prologix has no listener search
        return;
    }
    // "++fndl a,b,..." answers the listeners found as "p" or "p:s", comma separated (AR488
    // manual, ++fndl).
    std::string list;
    // At most the 31 addresses of the bus: an unterminated list is never read beyond them.
    for (int i = 0; i < 31 && static_cast<unsigned short>(pads[i]) != kNoAddr; ++i)
        list += (i > 0 ? "," : "") + std::to_string(pads[i] & 0xFF);
    std::string answer;
    const CallResult r = session.query("++fndl " + list, answer);
    if (r.status != 0) {
        report(r);
        return;
    }
    ListLimit found = 0;
    std::istringstream in(answer);
    std::string item;
    while (found < limit && std::getline(in, item, ',')) {
        int pad = 0, sad = 0;
        if (std::sscanf(item.c_str(), "%d:%d", &pad, &sad) < 1 || pad < 0 || pad > 30)
            continue;
        results[found++] = static_cast<short>(pad | (sad > 0 ? (0x60 + sad) << 8 : 0));
    }
    report(CallResult{0, 0, static_cast<long>(found)});
}

PROLOGIX_EXPORT void WaitSRQ(int board, short* result) {
    if (!board_ready(board))
        return;
    if (result == nullptr) {
        fail(EARG);
        return;
    }
    // "++srq" answers 1 while SRQ is asserted, else 0 (Prologix 8.18 srq; AR488 ++srq); it is
    // asked until SRQ is there or the device's time-out has passed.
    const long limit_ms = session.call_ms() > 0 ? session.call_ms() : 3000;
    const auto until = Clock::now() + std::chrono::milliseconds(limit_ms);
    *result = 0;
    for (;;) {
        std::string answer;
        const CallResult r = session.query("++srq", answer);
        if (r.status != 0 || answer == "1") {
            *result = r.status == 0 ? 1 : 0;
            report(r);
            return;
        }
        if (Clock::now() >= until)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    report(CallResult{TMO, 0, 0});
}

PROLOGIX_EXPORT int ThreadIbsta() {
    return status_word;
}
PROLOGIX_EXPORT int ThreadIberr() {
    return error_code;
}
PROLOGIX_EXPORT int ThreadIbcnt() {
    return static_cast<int>(byte_count);
}
