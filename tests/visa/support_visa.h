// The VISA driver library and the fake VISA as the tests use them: the driver loaded with the
// dynamic loader as the program loads it, the fake bound for its controls, and a fixture that
// points VISA_LIBRARY at the fake (the VISA_* settings are cleared before and after each test).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/environment.h"
#include "scope/gpib_defs.h"
#include "scope/library_loader.h"

namespace visa_test {

// Status bits and error codes of the driver ABI.
inline constexpr int kErr = 0x8000, kTmo = 0x4000, kEnd = 0x2000, kCmpl = 0x0100;
inline constexpr int kEdvr = 0, kEarg = 4, kEabo = 6, kEcap = 11;

// VISA completion and error codes, as the standard numbers them.
inline constexpr long long kMaxCnt = 0x3FFF0006, kErrorTmo = 0xBFFF0015,
                           kErrorRsrcNfound = 0xBFFF0011, kErrorIo = 0xBFFF003E,
                           kErrorConnLost = 0xBFFF00A6, kErrorSystem = 0xBFFF0000;

inline std::string Driver_path() {
    return HP_VISA_LIBRARY_PATH;
}
inline std::string Fake_path() {
    return HP_FAKE_VISA_PATH;
}
inline std::string Fake_without_clear_path() {
    return HP_FAKE_VISA_NO_CLEAR_PATH;
}

inline void Set(const char* name, const std::string& value) {
    platform::Set_environment_variable(name, value);
}
inline void Unset(const char* name) {
    platform::Unset_environment_variable(name);
}
inline void Clear_settings() {
    for (const char* name : {"VISA_LIBRARY", "VISA_RESOURCE"}) Unset(name);
}

struct Status {
    int ibsta = 0;
    int iberr = 0;
    int ibcnt = 0;
};

// A loaded library and its entry points by name, with the program's own loader.
class Loaded {
  public:
    explicit Loaded(const std::string& path) {
        std::string why;
        handle_ = scope::Open_library(path.c_str(), why);
        EXPECT_NE(handle_, nullptr) << path << ": " << why;
    }
    ~Loaded() {
        if (handle_ != nullptr)
            scope::Close_library(handle_);
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    template <typename T>
    T entry(const char* name) const {
        void* address = handle_ != nullptr ? scope::Library_export(handle_, name) : nullptr;
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<T>(address);
    }

  private:
    void* handle_ = nullptr;
};

class Driver {
  public:
    Driver() : library_(Driver_path()) {
        ibdev = library_.entry<decltype(ibdev)>("ibdev");
        ibclr = library_.entry<decltype(ibclr)>("ibclr");
        ibwrt = library_.entry<decltype(ibwrt)>("ibwrt");
        ibrd = library_.entry<decltype(ibrd)>("ibrd");
        ibonl = library_.entry<decltype(ibonl)>("ibonl");
        ibsta = library_.entry<decltype(ibsta)>("ThreadIbsta");
        iberr = library_.entry<decltype(iberr)>("ThreadIberr");
        ibcnt = library_.entry<decltype(ibcnt)>("ThreadIbcnt");
        find = library_.entry<decltype(find)>("VisaFindResources");
    }
    Status status() const { return {ibsta(), iberr(), ibcnt()}; }
    // ibdev as the program calls it: board 0, no secondary address, EOI on writes.
    int open(int pad = 5, int tmo = 12 /* T3s */) { return ibdev(0, pad, 0, tmo, 1, 0); }
    Status write(int ud, const std::string& text) {
        ibwrt(ud, text.data(), static_cast<gpib::Count>(text.size()));
        return status();
    }
    // One ibrd of `count` bytes into `out`; bytes past the count must stay untouched.
    Status read(int ud, long count, std::string& out) {
        std::string buffer(static_cast<std::size_t>(count) + 16, '\x5A');
        ibrd(ud, buffer.data(), static_cast<gpib::Count>(count));
        const Status s = status();
        out.assign(buffer.data(), static_cast<std::size_t>(std::max(s.ibcnt, 0)));
        EXPECT_EQ(buffer.substr(static_cast<std::size_t>(count)), std::string(16, '\x5A'));
        return s;
    }

    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibclr)(int) = nullptr;
    gpib::ibwrt_fn ibwrt = nullptr;
    gpib::ibrd_fn ibrd = nullptr;
    int (*ibonl)(int, int) = nullptr;
    int (*ibsta)() = nullptr;
    int (*iberr)() = nullptr;
    int (*ibcnt)() = nullptr;
    int (*find)(const char*, char*, long) = nullptr;

  private:
    Loaded library_;
};

// The fake VISA's controls (see fake_visa.cpp).
class FakeVisa {
  public:
    explicit FakeVisa(const std::string& path = Fake_path()) : library_(path) {
        set_ = library_.entry<decltype(set_)>("FakeVisa_set");
        set_resources_ = library_.entry<decltype(set_resources_)>("FakeVisa_set_resources");
        log_ = library_.entry<decltype(log_)>("FakeVisa_log");
        open_sessions_ = library_.entry<decltype(open_sessions_)>("FakeVisa_open_sessions");
        set("reset", 0);
    }
    void set(const char* mode, long long value) { set_(mode, value); }
    void set_resources(const std::string& names) { set_resources_(names.c_str()); }
    std::string log() const { return log_(); }
    int open_sessions() const { return open_sessions_(); }

  private:
    Loaded library_;
    void (*set_)(const char*, long long) = nullptr;
    void (*set_resources_)(const char*) = nullptr;
    const char* (*log_)() = nullptr;
    int (*open_sessions_)() = nullptr;
};

// The fake VISA, the driver bound to it through VISA_LIBRARY.
class VisaTest : public ::testing::Test {
  protected:
    FakeVisa visa;
    Driver driver;

    void SetUp() override {
        Clear_settings();
        Set("VISA_LIBRARY", Fake_path());
    }
    void TearDown() override {
        EXPECT_EQ(visa.open_sessions(), 0) << visa.log();
        Clear_settings();
    }
};

}  // namespace visa_test
