// The VXI-11 driver library as the tests use it: loaded with the dynamic loader as the program
// loads it, its entry points resolved by name, and a fixture with a fake gateway and VXI11_HOST
// pointing at it (the VXI11_* settings are cleared before and after each test).
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support_fake_gateway.h"

namespace vxi11_test {

// Status bits and error codes of the driver ABI.
inline constexpr int kErr = 0x8000, kTmo = 0x4000, kEnd = 0x2000, kCmpl = 0x0100;
inline constexpr int kEdvr = 0, kEnol = 2, kEarg = 4, kEabo = 6, kEneb = 7, kEcap = 11;

// $HP_VXI11_LIBRARY, else the library built with the tests.
inline std::string Driver_path() {
    const char* p = std::getenv("HP_VXI11_LIBRARY");
    return p != nullptr && *p != '\0' ? p : HP_VXI11_LIBRARY_PATH;
}

inline void Clear_settings() {
    for (const char* name : {"VXI11_HOST", "VXI11_DEVICE", "VXI11_PORTMAPPER_PORT"}) unsetenv(name);
}

struct Status {
    int ibsta = 0;
    int iberr = 0;
    int ibcnt = 0;
};

class Driver {
  public:
    Driver() { load(); }
    ~Driver() {
        if (handle_ != nullptr)
            dlclose(handle_);
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Unloads the library (which destroys the links left open) and loads it afresh.
    void reload() {
        if (handle_ != nullptr)
            dlclose(handle_);
        load();
    }
    void* entry(const char* name) const { return dlsym(handle_, name); }
    Status status() const { return {ibsta(), iberr(), ibcnt()}; }
    // ibdev as the program calls it: board 0, no secondary address, EOI on writes.
    int open(int pad = 5, int tmo = 12 /* T3s */) { return ibdev(0, pad, 0, tmo, 1, 0); }
    Status write(int ud, const std::string& text) {
        ibwrt(ud, text.data(), static_cast<long>(text.size()));
        return status();
    }
    // One ibrd of `count` bytes into `out`; bytes past the count must stay untouched.
    Status read(int ud, long count, std::string& out) {
        std::string buffer(static_cast<std::size_t>(count) + 16, '\x5A');
        ibrd(ud, buffer.data(), count);
        const Status s = status();
        out.assign(buffer.data(), static_cast<std::size_t>(std::max(s.ibcnt, 0)));
        EXPECT_EQ(buffer.substr(static_cast<std::size_t>(count)), std::string(16, '\x5A'));
        return s;
    }

    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibclr)(int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibrd)(int, void*, long) = nullptr;
    int (*ibonl)(int, int) = nullptr;
    int (*ibsta)() = nullptr;
    int (*iberr)() = nullptr;
    int (*ibcnt)() = nullptr;

  private:
    void* handle_ = nullptr;
    template <typename T>
    void bind(T& function, const char* name) {
        function = reinterpret_cast<T>(entry(name));
        ASSERT_NE(function, nullptr) << name;
    }
    void load() {
        handle_ = dlopen(Driver_path().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        bind(ibdev, "ibdev");
        bind(ibclr, "ibclr");
        bind(ibwrt, "ibwrt");
        bind(ibrd, "ibrd");
        bind(ibonl, "ibonl");
        bind(ibsta, "ThreadIbsta");
        bind(iberr, "ThreadIberr");
        bind(ibcnt, "ThreadIbcnt");
    }
};

// A fake gateway, the driver loaded, and VXI11_HOST naming the core channel's port.
class GatewayTest : public ::testing::Test {
  protected:
    fake_vxi11::FakeGateway gateway;
    Driver driver;

    void SetUp() override {
        Clear_settings();
        setenv("VXI11_HOST", gateway.host_with_port().c_str(), 1);
    }
    void TearDown() override { Clear_settings(); }
};

}  // namespace vxi11_test
