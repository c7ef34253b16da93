// The VXI-11 driver library as the tests use it: loaded with the dynamic loader as the program
// loads it, its entry points resolved by name, and the VXI11_* settings of one test, cleared
// before and after it.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support_fake_gateway.h"

namespace vxi11_test {

// $HP_VXI11_LIBRARY, else the library built with the tests.
inline std::string Driver_path() {
    const char* p = std::getenv("HP_VXI11_LIBRARY");
    return p != nullptr && *p != '\0' ? p : HP_VXI11_LIBRARY_PATH;
}

inline void Clear_settings() {
    for (const char* name : {"VXI11_HOST", "VXI11_DEVICE", "VXI11_PORTMAPPER_PORT"}) {
        unsetenv(name);
    }
}

struct Status {
    int ibsta = 0;
    int iberr = 0;
    int ibcnt = 0;
};

class Driver {
  public:
    Driver() { load(); }
    ~Driver() { unload(); }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Unloads the library (which destroys the links left open) and loads it afresh.
    void reload() {
        unload();
        load();
    }
    void load() {
        handle_ = dlopen(Driver_path().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            ADD_FAILURE() << "cannot load " << Driver_path() << ": " << dlerror();
            return;
        }
        ibdev = Resolve<int (*)(int, int, int, int, int, int)>("ibdev");
        ibclr = Resolve<int (*)(int)>("ibclr");
        ibwrt = Resolve<int (*)(int, const void*, long)>("ibwrt");
        ibrd = Resolve<int (*)(int, void*, long)>("ibrd");
        ibonl = Resolve<int (*)(int, int)>("ibonl");
        thread_ibsta = Resolve<int (*)()>("ThreadIbsta");
        thread_iberr = Resolve<int (*)()>("ThreadIberr");
        thread_ibcnt = Resolve<int (*)()>("ThreadIbcnt");
    }
    void unload() {
        if (handle_ != nullptr) {
            dlclose(handle_);
            handle_ = nullptr;
        }
    }

    bool loaded() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }
    Status status() const { return {thread_ibsta(), thread_iberr(), thread_ibcnt()}; }
    // ibdev as the program calls it: board 0, the pad, no secondary address, T3s, EOI on.
    int open(int pad = 5, int tmo = 12) { return ibdev(0, pad, 0, tmo, 1, 0); }
    Status write(int ud, const std::string& text) {
        ibwrt(ud, text.data(), static_cast<long>(text.size()));
        return status();
    }
    // One ibrd of `count` bytes; the bytes it delivered go to `out`.
    Status read(int ud, long count, std::string& out) {
        std::string buffer(static_cast<std::size_t>(count) + 16, '\x5A');
        ibrd(ud, buffer.data(), count);
        const Status s = status();
        out.assign(buffer.data(), s.ibcnt > 0 ? static_cast<std::size_t>(s.ibcnt) : 0);
        // Nothing beyond the count may be touched.
        EXPECT_EQ(buffer.substr(static_cast<std::size_t>(count)), std::string(16, '\x5A'));
        return s;
    }

    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibclr)(int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibrd)(int, void*, long) = nullptr;
    int (*ibonl)(int, int) = nullptr;
    int (*thread_ibsta)() = nullptr;
    int (*thread_iberr)() = nullptr;
    int (*thread_ibcnt)() = nullptr;

  private:
    void* handle_ = nullptr;
    template <typename T>
    T Resolve(const char* name) {
        return reinterpret_cast<T>(dlsym(handle_, name));
    }
};

// A fake gateway, the driver loaded, and VXI11_HOST pointing straight at the core channel.
class GatewayTest : public ::testing::Test {
  protected:
    fake_vxi11::FakeGateway gateway;
    Driver driver;

    void SetUp() override {
        Clear_settings();
        setenv("VXI11_HOST", gateway.host_with_port().c_str(), 1);
        ASSERT_TRUE(driver.loaded());
    }
    void TearDown() override { Clear_settings(); }
};

// Status bits and error codes of the driver ABI, as the tests name them.
inline constexpr int kErr = 0x8000;
inline constexpr int kTmo = 0x4000;
inline constexpr int kEnd = 0x2000;
inline constexpr int kCmpl = 0x0100;
inline constexpr int kEdvr = 0;
inline constexpr int kEnol = 2;
inline constexpr int kEarg = 4;
inline constexpr int kEabo = 6;
inline constexpr int kEneb = 7;
inline constexpr int kEcap = 11;

}  // namespace vxi11_test
