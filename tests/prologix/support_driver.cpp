// Loading the adapter driver library for direct calls.
#include "support_driver.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace prologix_test {

std::string Library_path() {
    return HP_PROLOGIX_LIBRARY_PATH;
}

Driver::Driver() {
    handle_ = dlopen(Library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        ADD_FAILURE() << "cannot load " << Library_path() << ": " << dlerror();
        return;
    }
    auto bind = [this](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle_, name));
        if (fn == nullptr)
            ADD_FAILURE() << "no export " << name;
    };
    bind(ibdev, "ibdev");
    bind(ibwrt, "ibwrt");
    bind(ibrd, "ibrd");
    bind(ibonl, "ibonl");
    bind(ThreadIbsta, "ThreadIbsta");
    bind(ThreadIberr, "ThreadIberr");
    bind(ThreadIbcnt, "ThreadIbcnt");
    bind(SendIFC, "SendIFC");
    bind(DevClear, "DevClear");
    bind(ReadStatusByte, "ReadStatusByte");
    bind(FindLstn, "FindLstn");
    bind(WaitSRQ, "WaitSRQ");
}

Driver::~Driver() {
    if (handle_ != nullptr)
        dlclose(handle_);
}

std::string Driver::read(int ud, long count) {
    std::string buffer(static_cast<std::size_t>(count), '\0');
    ibrd(ud, buffer.data(), count);
    buffer.resize(static_cast<std::size_t>(std::clamp<long>(cnt(), 0, count)));
    return buffer;
}

}  // namespace prologix_test
