// The GPIB driver binding. The library is loaded by name at run time; its status word, error
// code and count are read right after every call from the first status form the library has:
// the per-thread accessors (the Linux driver's globals can be stale after a failed call, the
// accessors never are), the Windows driver's user_ variables, or the plain variables.
#include "scope/gpib_driver.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/standard_error.h"
#include "scope/driver_binding.h"
#include "scope/gpib_defs.h"
#include "scope/probe.h"
#include "scope/scope_link.h"

namespace scope {
namespace {

DriverBinding Driver;
std::string Library_origin;
std::string Last_said;

// Runs one driver call with its standard error captured: kept as the call's own words and
// passed on to the program's standard error.
template <typename Call>
void Listening(Call call) {
    platform::StandardErrorCapture capture;
    call();
    Last_said = capture.finish();
    std::fputs(Last_said.c_str(), stderr);
}

// The driver's words on one line, and what usually helps.
std::string Reason_line(const std::string& said, const std::string& remedy) {
    std::string line;
    for (const char c : said) {
        if (c == '\n' || c == '\r') {
            if (!line.empty() && line.back() != ' ')
                line += "; ";
        } else {
            line += c;
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == ';')) line.pop_back();
    return remedy.empty() ? line : line + ". " + remedy;
}

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

[[noreturn]] void Fail_binding(const char* text) {
    platform::current().message_box(platform::BoxKind::Error, "Error", text);
    platform::stop_program();
}

}  // namespace

void Load_gpib_library() {
    // Opening again releases the library bound before: one load per binding, so that a
    // release leaves nothing of the driver in the process.
    Release_gpib_library();
    ChosenLibrary chosen;
    std::string reason;
    if (!Bind_chosen_driver_library(Driver, chosen, reason)) {
        const std::string origin = !Library_origin.empty() ? Library_origin
                                   : chosen.configured
                                       ? "from GPIB_LIBRARY"
                                       : "the default; set GPIB_LIBRARY to use another";
        // What helps, unless the library is the user's own GPIB_LIBRARY.
        const std::string remedy = chosen.configured && Library_origin.empty()
                                       ? std::string()
                                       : Remedy_in_environment(-1, 0);
        std::fprintf(
            stderr, "hp54200a: cannot load the GPIB driver library %s (%s): %s\n%s%s",
            chosen.name.c_str(), origin.c_str(), reason.c_str(),
            remedy.empty() ? "" : "hp54200a: ", remedy.empty() ? "" : (remedy + "\n").c_str());
        platform::send_message(Reason_line("The GPIB driver library " + chosen.name + " (" +
                                               origin + ") cannot be loaded: " + reason,
                                           remedy));
        Fail_binding("LoadLibrary FAILED!");
    }
    if (const std::string missing = Missing_exports(Driver); !missing.empty()) {
        std::fprintf(stderr, "hp54200a: the GPIB driver library %s lacks %s\n", chosen.name.c_str(),
                     missing.c_str());
        platform::send_message("The GPIB driver library " + chosen.name + " is not one: it lacks " +
                               missing + ".");
        platform::current().message_box(platform::BoxKind::Error, "Error",
                                        "GetProcAddresses FAILED!");
        Release_gpib_library();
        platform::stop_program();
    }
}

void Release_gpib_library() {
    Unbind_driver_library(Driver);
}

void Set_library_origin(const std::string& origin) {
    Library_origin = origin;
}

const std::string& Driver_said() {
    return Last_said;
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
    int32_t ud = -1;
    Listening([&] { ud = Driver.ibdev(board, pad, sad, tmo, eot, eos); });
    Read_status(Driver);
    return ud;
}

void Call_ibclr(int32_t device) {
    if (Driver_missing()) {
        return;
    }
    Listening([&] { Driver.ibclr(device); });
    Read_status(Driver);
}

void Call_ibwrt(int32_t device, const char* buffer, int32_t count) {
    if (Driver_missing()) {
        return;
    }
    Listening([&] { Driver.ibwrt(device, buffer, count); });
    Read_status(Driver);
}

void Call_ibrd(int32_t device, char* buffer, int32_t count) {
    if (Driver_missing()) {
        return;
    }
    Listening([&] { Driver.ibrd(device, buffer, count); });
    Read_status(Driver);
}

void Call_ibonl(int32_t device, int v) {
    if (Driver_missing()) {
        return;
    }
    Listening([&] { Driver.ibonl(device, v); });
    Read_status(Driver);
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
    if (!Last_said.empty())
        platform::send_message(Reason_line(Last_said, Remedy_in_environment(Iberr(), Ibcnt())));
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
