// The tests' build of the USBTMC driver, with the fake kernel behind its seam, loaded as the
// program loads a driver: its entry points and the fake's controls resolved by name. A fresh
// load per fixture gives a fresh fake kernel.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace usbtmc_test {

inline constexpr int kErr = 0x8000, kTmo = 0x4000, kEnd = 0x2000, kCmpl = 0x0100;
inline constexpr int kEdvr = 0, kEarg = 4, kEabo = 6;

inline std::string Driver_with_fake_kernel_path() {
    return HP_USBTMC_FAKE_KERNEL_LIBRARY_PATH;
}

struct Status {
    int ibsta = 0;
    int iberr = 0;
    int ibcnt = 0;
};

class Driver {
  public:
    Driver() {
        handle_ = dlopen(Driver_with_fake_kernel_path().c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(handle_, nullptr) << dlerror();
        bind(ibdev, "ibdev");
        bind(ibclr, "ibclr");
        bind(ibwrt, "ibwrt");
        bind(ibrd, "ibrd");
        bind(ibonl, "ibonl");
        bind(ibsta, "ThreadIbsta");
        bind(iberr, "ThreadIberr");
        bind(ibcnt, "ThreadIbcnt");
        bind(list, "UsbtmcListDevices");
        bind(set_, "FakeKernel_set");
        bind(set_sysfs_, "FakeKernel_set_sysfs");
        bind(log_, "FakeKernel_log");
        bind(open_files_, "FakeKernel_open_files");
    }
    ~Driver() {
        if (handle_ != nullptr)
            dlclose(handle_);
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    Status status() const { return {ibsta(), iberr(), ibcnt()}; }
    int open(int tmo = 12 /* T3s */, int eot = 1) { return ibdev(0, 5, 0, tmo, eot, 0); }
    Status write(int ud, const std::string& text) {
        ibwrt(ud, text.data(), static_cast<long>(text.size()));
        return status();
    }
    // One ibrd of `count` bytes into `out`; bytes past the count must stay untouched.
    Status read(int ud, long count, std::string& out) {
        std::string buffer(static_cast<std::size_t>(count) + 16, '\x5A');
        ibrd(ud, buffer.data(), count);
        const Status s = status();
        out.assign(buffer.data(), static_cast<std::size_t>(std::clamp(s.ibcnt, 0, int(count))));
        EXPECT_EQ(buffer.substr(static_cast<std::size_t>(count)), std::string(16, '\x5A'));
        return s;
    }
    void set(const char* mode, long value) { set_(mode, value); }
    void set_sysfs(const std::string& dir) { set_sysfs_(dir.c_str()); }
    std::string log() const { return log_(); }
    int open_files() const { return open_files_(); }

    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibclr)(int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibrd)(int, void*, long) = nullptr;
    int (*ibonl)(int, int) = nullptr;
    int (*ibsta)() = nullptr;
    int (*iberr)() = nullptr;
    int (*ibcnt)() = nullptr;
    int (*list)(const char*, char*, long) = nullptr;

  private:
    void* handle_ = nullptr;
    void (*set_)(const char*, long) = nullptr;
    void (*set_sysfs_)(const char*) = nullptr;
    const char* (*log_)() = nullptr;
    int (*open_files_)() = nullptr;
    template <typename T>
    void bind(T& function, const char* name) {
        function = reinterpret_cast<T>(handle_ != nullptr ? dlsym(handle_, name) : nullptr);
        EXPECT_NE(function, nullptr) << name;
    }
};

class UsbtmcTest : public ::testing::Test {
  protected:
    Driver driver;
    void SetUp() override { unsetenv("USBTMC_DEVICE"); }
    void TearDown() override {
        EXPECT_EQ(driver.open_files(), 0) << driver.log();
        unsetenv("USBTMC_DEVICE");
        unsetenv("HP_SIM_REPLY_ID");
    }
};

}  // namespace usbtmc_test
