// Binding a driver library: loaded by name, each entry point and status form looked up.
#include "scope/driver_binding.h"

#include <array>
#include <cstdlib>
#include <utility>

#include "scope/library_loader.h"

namespace scope {
namespace {

template <typename T>
T Resolve(const DriverBinding& driver, const char* name) {
    return reinterpret_cast<T>(Library_export(driver.Gpib_library, name));
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
    driver.Gpib_library = Open_library(name, reason);
    if (driver.Gpib_library == nullptr)
        return false;
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

bool Bind_chosen_driver_library(DriverBinding& driver, ChosenLibrary& chosen, std::string& reason) {
    const char* configured = std::getenv("GPIB_LIBRARY");
    if (configured != nullptr && configured[0] != '\0') {
        chosen = {configured, true};
        return Bind_driver_library(driver, configured, reason);
    }
    chosen = {};
    driver = DriverBinding{};
    const std::vector<std::string>& names = Default_libraries();
    std::string tried;
    std::string reasons;
    for (const std::string& name : names) {
        DriverBinding candidate;
        std::string why;
        if (!Bind_driver_library(candidate, name.c_str(), why)) {
            tried += (tried.empty() ? "" : " or ") + name;
            reasons += (reasons.empty() ? "" : "; ") + (names.size() > 1 ? name + ": " : "") + why;
            continue;
        }
        Unbind_driver_library(driver);
        driver = candidate;
        chosen.name = name;
        if (Missing_exports(driver).empty())
            return true;
    }
    if (driver.Gpib_library != nullptr)
        return true;
    chosen.name = tried;
    reason = reasons;
    return false;
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
        Close_library(driver.Gpib_library);
    driver = DriverBinding{};
}

}  // namespace scope
