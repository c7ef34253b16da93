// A gateway that stops reading: a write longer than what the loopback connection's buffers hold
// (the gateway's receive buffer and the driver's send buffer kept to a few kilobytes each)
// waits for room to send, and that wait ends at the device's time-out, with the time-out's
// status, however much is left unsent.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "support_driver.h"

namespace {

using namespace vxi11_test;
using Clock = std::chrono::steady_clock;

// The driver's connection to the gateway at `port` lives in this process: its send buffer is
// cut to a few kilobytes (which also ends the system's growing of it). The connections found.
int Narrow_send_buffers_to(uint16_t port) {
    int found = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (fds == nullptr)
        return 0;
    while (const dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        struct stat st {};
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (fd <= 2 || fd == dirfd(fds) || fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode) ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
            peer.sin_family != AF_INET || ntohs(peer.sin_port) != port)
            continue;
        const int bytes = 4096;
        if (setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0)
            ++found;
    }
    closedir(fds);
    return found;
}

TEST(GatewaySendDeadline, WriteToAGatewayThatStopsReadingEndsAtTheTimeOut) {
    struct Row {
        const char* name;
        int tmo;          // the device's time-out code
        long bytes;       // written in one ibwrt
        long timeout_ms;  // what the code stands for
    };
    constexpr int T100ms = 9, T300ms = 10, T1s = 11;
    const Row rows[] = {
        {"1 MB at 100 ms", T100ms, 1L << 20, 100},
        {"1 MB at 300 ms", T300ms, 1L << 20, 300},
        {"256 kB at 1 s", T1s, 256L << 10, 1000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Clear_settings();
        fake_vxi11::RawGateway gateway(fake_vxi11::Hostility::deaf_narrow);
        setenv("VXI11_HOST", gateway.host_with_port().c_str(), 1);
        Driver driver;
        const int ud = driver.open(5, row.tmo);
        ASSERT_GT(ud, 0);
        const std::string where = gateway.host_with_port();
        ASSERT_EQ(Narrow_send_buffers_to(
                      static_cast<uint16_t>(std::atoi(where.substr(where.rfind(':') + 1).c_str()))),
                  1);
        const std::string data(static_cast<std::size_t>(row.bytes), 'w');
        testing::internal::CaptureStderr();
        const auto start = Clock::now();
        auto call = std::async(std::launch::async, [&] { return driver.write(ud, data); });
        // A send that waits for ever cannot be undone: the run ends here.
        if (call.wait_for(std::chrono::milliseconds(row.timeout_ms + 6000)) !=
            std::future_status::ready) {
            std::printf("%s: the write never returned\n", row.name);  // stderr is captured
            std::fflush(stdout);
            std::_Exit(1);
        }
        const Status s = call.get();
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(s.ibsta, kErr | kTmo | kCmpl);
        EXPECT_EQ(s.iberr, kEabo);
        EXPECT_EQ(s.ibcnt, 0);
        EXPECT_GE(ms, row.timeout_ms);  // it waited for room to send, up to the time-out
        // The library ends a call by its time-out plus 1 s for the gateway's answer; 2 s more
        // leave room for a loaded machine's scheduling.
        EXPECT_LE(ms, row.timeout_ms + 3000) << ms;
        EXPECT_NE(said.find("RPC: Timed out"), std::string::npos) << said;
        driver.ibonl(ud, 0);
    }
    Clear_settings();
}

}  // namespace
