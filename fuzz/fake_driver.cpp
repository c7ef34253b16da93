// A stand-in GPIB driver library for fuzzing the link's reply handling: every call succeeds,
// and a read delivers whatever bytes the fuzz target queued and reports whatever count it chose.
#include <algorithm>
#include <cstring>
#include <string>

#include "scope/gpib_defs.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::string queued;
int queued_count = 0;
}  // namespace

extern "C" {
__attribute__((visibility("default"))) int user_ibsta = 0;
__attribute__((visibility("default"))) int user_iberr = 0;
__attribute__((visibility("default"))) int user_ibcnt = 0;
}

FAKE_EXPORT void fake_queue_reply(const char* bytes, long size, int reported_count) {
    queued.assign(bytes, static_cast<std::size_t>(size));
    queued_count = reported_count;
}

FAKE_EXPORT void DevClear(int, short) {}
FAKE_EXPORT void FindLstn(int, const short*, short*, int) {}
FAKE_EXPORT void ReadStatusByte(int, short, short*) {}
FAKE_EXPORT void SendIFC(int) {}
FAKE_EXPORT void WaitSRQ(int, short*) {}

static int done(int status, int count) {
    user_ibsta = status;
    user_iberr = 0;
    user_ibcnt = count;
    return status;
}

FAKE_EXPORT int ibdev(int, int, int, int, int, int) {
    done(gpib::CMPL, 0);
    return 1;
}
FAKE_EXPORT int ibclr(int) {
    return done(gpib::CMPL, 0);
}
FAKE_EXPORT int ibonl(int, int) {
    return done(gpib::CMPL, 0);
}
FAKE_EXPORT int ibwrt(int, const void*, long count) {
    return done(gpib::CMPL, static_cast<int>(count));
}
FAKE_EXPORT int ibrd(int, void* buffer, long count) {
    const std::size_t n = std::min(queued.size(), static_cast<std::size_t>(std::max(count, 0L)));
    std::memcpy(buffer, queued.data(), n);
    return done(gpib::CMPL | gpib::END, queued_count);
}
