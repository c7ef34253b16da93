// Binding a driver library: dlopen by name, dlsym for each entry point and status form.
#include "scope/driver_binding.h"

#include <dlfcn.h>

#include <array>
#include <utility>

namespace scope {
namespace {

template <typename T>
T Resolve(const DriverBinding& driver, const char* name) {
    return reinterpret_cast<T>(dlsym(driver.Gpib_library, name));
}

void Bind_status_form(DriverBinding& driver) {
    driver.thread_ibsta = Resolve<gpib::ThreadIbsta_fn>(driver, "ThreadIbsta");
    driver.thread_iberr = Resolve<gpib::ThreadIberr_fn>(driver, "ThreadIberr");
    driver.thread_ibcnt = Resolve<gpib::ThreadIbcnt_fn>(driver, "ThreadIbcnt");
    if (driver.thread_ibsta != nullptr && driver.thread_iberr != nullptr &&
        driver.thread_ibcnt != nullptr) {
        driver.form = StatusForm::Accessors;
        return;
    }
    for (const auto& names : {std::array<const char*, 3>{"user_ibsta", "user_iberr", "user_ibcnt"},
                              std::array<const char*, 3>{"ibsta", "iberr", "ibcnt"}}) {
        driver.Ibsta_ref = Resolve<const int*>(driver, names[0]);
        driver.Iberr_ref = Resolve<const int*>(driver, names[1]);
        driver.Ibcnt_ref = Resolve<const int*>(driver, names[2]);
        if (driver.Ibsta_ref != nullptr && driver.Iberr_ref != nullptr &&
            driver.Ibcnt_ref != nullptr) {
            driver.form =
                names[0][0] == 'u' ? StatusForm::UserVariables : StatusForm::PlainVariables;
            return;
        }
    }
    driver.form = StatusForm::None;
}

// What the library lacks, for the line on standard error: "" when it has everything.
}  // namespace

std::string Missing_exports(const DriverBinding& driver) {
    const std::array<std::pair<const char*, bool>, 10> entry_points{{
        {"DevClear", driver.DevClear != nullptr},
        {"FindLstn", driver.FindLstn != nullptr},
        {"ReadStatusByte", driver.ReadStatusByte != nullptr},
        {"SendIFC", driver.SendIFC != nullptr},
        {"WaitSRQ", driver.WaitSRQ != nullptr},
        {"ibclr", driver.ibclr != nullptr},
        {"ibdev", driver.ibdev != nullptr},
        {"ibonl", driver.ibonl != nullptr},
        {"ibrd", driver.ibrd != nullptr},
        {"ibwrt", driver.ibwrt != nullptr},
    }};
    std::string missing;
    for (const auto& [name, bound] : entry_points) {
        if (!bound)
            missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    if (driver.form == StatusForm::None) {
        missing += (missing.empty() ? "" : ", ") +
                   std::string(
                       "a status form (ThreadIbsta/ThreadIberr/ThreadIbcnt, "
                       "user_ibsta/user_iberr/user_ibcnt or ibsta/iberr/ibcnt)");
    }
    return missing;
}

bool Bind_driver_library(DriverBinding& driver, const char* name, std::string& reason) {
    driver = DriverBinding{};
    driver.Gpib_library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (driver.Gpib_library == nullptr) {
        const char* why = dlerror();
        reason = why != nullptr ? why : "no reason given";
        return false;
    }
    driver.DevClear = Resolve<gpib::DevClear_fn>(driver, "DevClear");
    driver.FindLstn = Resolve<gpib::FindLstn_fn>(driver, "FindLstn");
    driver.ReadStatusByte = Resolve<gpib::ReadStatusByte_fn>(driver, "ReadStatusByte");
    driver.SendIFC = Resolve<gpib::SendIFC_fn>(driver, "SendIFC");
    driver.WaitSRQ = Resolve<gpib::WaitSRQ_fn>(driver, "WaitSRQ");
    driver.ibclr = Resolve<gpib::ibclr_fn>(driver, "ibclr");
    driver.ibdev = Resolve<gpib::ibdev_fn>(driver, "ibdev");
    driver.ibonl = Resolve<gpib::ibonl_fn>(driver, "ibonl");
    driver.ibrd = Resolve<gpib::ibrd_fn>(driver, "ibrd");
    driver.ibwrt = Resolve<gpib::ibwrt_fn>(driver, "ibwrt");
    Bind_status_form(driver);
    return true;
}

void Read_status(DriverBinding& driver) {
    if (driver.form == StatusForm::Accessors) {
        driver.ibsta = driver.thread_ibsta();
        driver.iberr = driver.thread_iberr();
        driver.ibcnt = driver.thread_ibcnt();
    } else if (driver.form != StatusForm::None) {
        driver.ibsta = *driver.Ibsta_ref;
        driver.iberr = *driver.Iberr_ref;
        driver.ibcnt = *driver.Ibcnt_ref;
    }
}

void Unbind_driver_library(DriverBinding& driver) {
    if (driver.Gpib_library != nullptr)
        dlclose(driver.Gpib_library);
    driver = DriverBinding{};
}

}  // namespace scope
