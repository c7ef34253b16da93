// The GPIB driver binding. The library is loaded by name at run time; its status word, error
// code and count are read right after every call from the first status form the library has:
// the per-thread accessors (the Linux driver's globals can be stale after a failed call, the
// accessors never are), the Windows driver's user_ variables, or the plain variables.
#include "scope/gpib_driver.h"

#include <dlfcn.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "scope/gpib_defs.h"
#include "scope/scope_link.h"

namespace scope {
namespace {

#ifdef _WIN32
constexpr const char* kDefaultLibrary = "GPIB-32.DLL";
#else
constexpr const char* kDefaultLibrary = "libgpib.so.0";
#endif

enum class StatusForm { None, Accessors, UserVariables, PlainVariables };

struct DriverBinding {
    void* Gpib_library = nullptr;
    StatusForm form = StatusForm::None;
    const int* Ibsta_ref = nullptr;
    const int* Iberr_ref = nullptr;
    const int* Ibcnt_ref = nullptr;
    gpib::ThreadIbsta_fn thread_ibsta = nullptr;
    gpib::ThreadIberr_fn thread_iberr = nullptr;
    gpib::ThreadIbcnt_fn thread_ibcnt = nullptr;
    gpib::DevClear_fn DevClear = nullptr;
    gpib::FindLstn_fn FindLstn = nullptr;
    gpib::ReadStatusByte_fn ReadStatusByte = nullptr;
    gpib::SendIFC_fn SendIFC = nullptr;
    gpib::WaitSRQ_fn WaitSRQ = nullptr;
    gpib::ibclr_fn ibclr = nullptr;
    gpib::ibdev_fn ibdev = nullptr;
    gpib::ibonl_fn ibonl = nullptr;
    gpib::ibrd_fn ibrd = nullptr;
    gpib::ibwrt_fn ibwrt = nullptr;
    // The outcome of the last call, as the driver reported it.
    int32_t ibsta = 0;
    int32_t iberr = 0;
    int32_t ibcnt = 0;
};

DriverBinding Driver;

struct BitName {
    int32_t mask;
    const char* name;
};

// From bit 15 down, the order in which the report lists them.
constexpr std::array<BitName, 16> kStatusBits{{{gpib::ERR, "ERR"},
                                               {gpib::TMO, "TMO"},
                                               {gpib::END, "END"},
                                               {gpib::SRQI, "SRQI"},
                                               {gpib::RQS, "RQS"},
                                               {gpib::SPOLL, "SPOLL"},
                                               {gpib::EVENT, "EVENT"},
                                               {gpib::CMPL, "CMPL"},
                                               {gpib::LOK, "LOK"},
                                               {gpib::REM, "REM"},
                                               {gpib::CIC, "CIC"},
                                               {gpib::ATN, "ATN"},
                                               {gpib::TACS, "TACS"},
                                               {gpib::LACS, "LACS"},
                                               {gpib::DTAS, "DTAS"},
                                               {gpib::DCAS, "DCAS"}}};

const char* Error_name(int32_t iberr) {
    switch (iberr) {
        case gpib::EDVR:
            return "EDVR";
        case gpib::ECIC:
            return "ECIC";
        case gpib::ENOL:
            return "ENOL";
        case gpib::EADR:
            return "EADR";
        case gpib::EARG:
            return "EARG";
        case gpib::ESAC:
            return "ESAC";
        case gpib::EABO:
            return "EABO";
        case gpib::ENEB:
            return "ENEB";
        case gpib::EDMA:
            return "EDMA";
        case gpib::EOIP:
            return "EOIP";
        case gpib::ECAP:
            return "ECAP";
        case gpib::EFSO:
            return "EFSO";
        case gpib::EBUS:
            return "EBUS";
        case gpib::ESTB:
            return "ESTB";
        case gpib::ESRQ:
            return "ESRQ";
        case gpib::ETAB:
            return "ETAB";
        default:
            return nullptr;
    }
}

template <typename T>
T Resolve(const char* name) {
    return reinterpret_cast<T>(dlsym(Driver.Gpib_library, name));
}

void Bind_status_form() {
    Driver.thread_ibsta = Resolve<gpib::ThreadIbsta_fn>("ThreadIbsta");
    Driver.thread_iberr = Resolve<gpib::ThreadIberr_fn>("ThreadIberr");
    Driver.thread_ibcnt = Resolve<gpib::ThreadIbcnt_fn>("ThreadIbcnt");
    if (Driver.thread_ibsta != nullptr && Driver.thread_iberr != nullptr &&
        Driver.thread_ibcnt != nullptr) {
        Driver.form = StatusForm::Accessors;
        return;
    }
    for (const auto& names : {std::array<const char*, 3>{"user_ibsta", "user_iberr", "user_ibcnt"},
                              std::array<const char*, 3>{"ibsta", "iberr", "ibcnt"}}) {
        Driver.Ibsta_ref = Resolve<const int*>(names[0]);
        Driver.Iberr_ref = Resolve<const int*>(names[1]);
        Driver.Ibcnt_ref = Resolve<const int*>(names[2]);
        if (Driver.Ibsta_ref != nullptr && Driver.Iberr_ref != nullptr &&
            Driver.Ibcnt_ref != nullptr) {
            Driver.form =
                names[0][0] == 'u' ? StatusForm::UserVariables : StatusForm::PlainVariables;
            return;
        }
    }
    Driver.form = StatusForm::None;
}

// What the library lacks, for the line on standard error: "" when it has everything.
std::string Missing_exports() {
    const std::array<std::pair<const char*, bool>, 10> entry_points{{
        {"DevClear", Driver.DevClear != nullptr},
        {"FindLstn", Driver.FindLstn != nullptr},
        {"ReadStatusByte", Driver.ReadStatusByte != nullptr},
        {"SendIFC", Driver.SendIFC != nullptr},
        {"WaitSRQ", Driver.WaitSRQ != nullptr},
        {"ibclr", Driver.ibclr != nullptr},
        {"ibdev", Driver.ibdev != nullptr},
        {"ibonl", Driver.ibonl != nullptr},
        {"ibrd", Driver.ibrd != nullptr},
        {"ibwrt", Driver.ibwrt != nullptr},
    }};
    std::string missing;
    for (const auto& [name, bound] : entry_points) {
        if (!bound)
            missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    if (Driver.form == StatusForm::None) {
        missing += (missing.empty() ? "" : ", ") +
                   std::string(
                       "a status form (ThreadIbsta/ThreadIberr/ThreadIbcnt, "
                       "user_ibsta/user_iberr/user_ibcnt or ibsta/iberr/ibcnt)");
    }
    return missing;
}

[[noreturn]] void Fail_binding(const char* text) {
    platform::current().message_box(platform::BoxKind::Error, "Error", text);
    platform::stop_program();
}

void Read_status() {
    if (Driver.form == StatusForm::Accessors) {
        Driver.ibsta = Driver.thread_ibsta();
        Driver.iberr = Driver.thread_iberr();
        Driver.ibcnt = Driver.thread_ibcnt();
    } else if (Driver.form != StatusForm::None) {
        Driver.ibsta = *Driver.Ibsta_ref;
        Driver.iberr = *Driver.Iberr_ref;
        Driver.ibcnt = *Driver.Ibcnt_ref;
    }
}

}  // namespace

void Load_gpib_library() {
    const char* configured = std::getenv("GPIB_LIBRARY");
    const char* name =
        configured != nullptr && configured[0] != '\0' ? configured : kDefaultLibrary;
    Driver = DriverBinding{};
    Driver.Gpib_library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (Driver.Gpib_library == nullptr) {
        const char* reason = dlerror();
        std::fprintf(stderr, "hp54200a: cannot load the GPIB driver library %s (%s): %s\n", name,
                     configured == name ? "from GPIB_LIBRARY"
                                        : "the default; set GPIB_LIBRARY to use another",
                     reason != nullptr ? reason : "no reason given");
        Fail_binding("LoadLibrary FAILED!");
    }
    Driver.DevClear = Resolve<gpib::DevClear_fn>("DevClear");
    Driver.FindLstn = Resolve<gpib::FindLstn_fn>("FindLstn");
    Driver.ReadStatusByte = Resolve<gpib::ReadStatusByte_fn>("ReadStatusByte");
    Driver.SendIFC = Resolve<gpib::SendIFC_fn>("SendIFC");
    Driver.WaitSRQ = Resolve<gpib::WaitSRQ_fn>("WaitSRQ");
    Driver.ibclr = Resolve<gpib::ibclr_fn>("ibclr");
    Driver.ibdev = Resolve<gpib::ibdev_fn>("ibdev");
    Driver.ibonl = Resolve<gpib::ibonl_fn>("ibonl");
    Driver.ibrd = Resolve<gpib::ibrd_fn>("ibrd");
    Driver.ibwrt = Resolve<gpib::ibwrt_fn>("ibwrt");
    Bind_status_form();
    if (const std::string missing = Missing_exports(); !missing.empty()) {
        std::fprintf(stderr, "hp54200a: the GPIB driver library %s lacks %s\n", name,
                     missing.c_str());
        platform::current().message_box(platform::BoxKind::Error, "Error",
                                        "GetProcAddresses FAILED!");
        Release_gpib_library();
        platform::stop_program();
    }
}

void Release_gpib_library() {
    if (Driver.Gpib_library != nullptr) {
        dlclose(Driver.Gpib_library);
    }
    Driver = DriverBinding{};
}

bool Gpib_library_loaded() {
    return Driver.Gpib_library != nullptr;
}

namespace {

// A call without a bound driver (which the handlers never make) fails like a call to a driver
// that is not there, instead of jumping through a null entry point.
bool Driver_missing() {
    if (Driver.Gpib_library != nullptr) {
        return false;
    }
    Driver.ibsta = gpib::ERR;
    Driver.iberr = gpib::EDVR;
    Driver.ibcnt = 0;
    return true;
}

}  // namespace

int32_t Call_ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    if (Driver_missing()) {
        return -1;
    }
    const int32_t ud = Driver.ibdev(board, pad, sad, tmo, eot, eos);
    Read_status();
    return ud;
}

void Call_ibclr(int32_t device) {
    if (Driver_missing()) {
        return;
    }
    Driver.ibclr(device);
    Read_status();
}

void Call_ibwrt(int32_t device, const char* buffer, int32_t count) {
    if (Driver_missing()) {
        return;
    }
    Driver.ibwrt(device, buffer, count);
    Read_status();
}

void Call_ibrd(int32_t device, char* buffer, int32_t count) {
    if (Driver_missing()) {
        return;
    }
    Driver.ibrd(device, buffer, count);
    Read_status();
}

void Call_ibonl(int32_t device, int v) {
    if (Driver_missing()) {
        return;
    }
    Driver.ibonl(device, v);
    Read_status();
}

int32_t Ibsta() {
    return Driver.ibsta;
}
int32_t Iberr() {
    return Driver.iberr;
}
int32_t Ibcnt() {
    return Driver.ibcnt;
}

bool Error_bit_set() {
    return (Driver.ibsta & gpib::ERR) != 0;
}

std::string Status_line(const std::string& failure, int32_t ibsta, int32_t iberr) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(ibsta));
    return failure + "  ibsta = $" + hex + "  iberr = " + std::to_string(iberr);
}

std::string Status_bits_line(int32_t ibsta) {
    std::string line = "ibsta ===> ";
    for (const BitName& bit : kStatusBits) {
        if ((ibsta & bit.mask) != 0) {
            line += "  ";
            line += bit.name;
        }
    }
    return line;
}

std::string Error_name_line(int32_t iberr) {
    std::string line = "iberr ===> ";
    if (const char* name = Error_name(iberr)) {
        line += "  ";
        line += name;
    }
    return line;
}

std::string Count_line(int32_t ibcnt) {
    return "ibcntl = " + std::to_string(ibcnt);
}

void Check_gpib_status(const std::string& failure) {
    if (Error_bit_set()) {
        Report_gpib_error(failure);
    }
}

void Report_gpib_error(const std::string& failure) {
    platform::Platform& p = platform::current();
    p.message_box(platform::BoxKind::Error, "Error", Status_line(failure, Ibsta(), Iberr()));
    p.message_box(platform::BoxKind::Error, "Error", Status_bits_line(Ibsta()));
    p.message_box(platform::BoxKind::Error, "Error", Error_name_line(Iberr()));
    p.message_box(platform::BoxKind::Error, "Error", Count_line(Ibcnt()));
    if (Driver.ibonl != nullptr) {
        Driver.ibonl(Link.Device, 0);
    }
    Release_gpib_library();
    platform::stop_program();
}

}  // namespace scope
