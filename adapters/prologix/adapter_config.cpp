// The adapter settings the driver relies on, with the manual sections that define them.
#include "adapters/prologix/adapter_config.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "adapters/prologix/reply_reader.h"

namespace prologix {
namespace {

// The adapter's read time-out is kept short so that the end of a binary reply is known soon
// after its last byte (see reply_reader.cpp); the limit of the whole call is kept on the host,
// which asks again while the instrument is slow to answer. 1..3000 ms is the Prologix range
// (Prologix GPIB-USB Controller User Manual 6.107, 8.14 read_tmo_ms and its change log);
// the AR488 takes 0..32000 (AR488 User Manual 0.53.03, ++read_tmo_ms).
constexpr long kLongestInterCharacterMs = 50;

}  // namespace

PortSetting read_port_setting() {
    PortSetting s;
    const char* port = std::getenv("PROLOGIX_PORT");
    if (port == nullptr || *port == '\0') {
        s.problem = "PROLOGIX_PORT is not set";
        return s;
    }
    s.where = port;
    if (const char* baud = std::getenv("PROLOGIX_BAUD"); baud != nullptr && *baud != '\0') {
        char* end = nullptr;
        s.baud = std::strtol(baud, &end, 10);
        if (*end != '\0' || s.baud <= 0)
            s.problem = std::string("PROLOGIX_BAUD=") + baud + " is not a baud rate";
    }
    return s;
}

bool is_ar488_identity(const std::string& line) {
    // The AR488's own version string starts "AR488 GPIB controller" (AR488_Config.h, FWVER).
    return line.rfind("AR488", 0) == 0;
}

bool is_version_line(const std::string& line) {
    // "Prologix GPIB-USB Controller version 6.107" (Prologix manual 8.21 ver), "AR488 GPIB
    // controller, ver. 0.51.29, ..." or a version string customised with "++id verstr" (AR488
    // manual, ++ver, ++id): each names a version.
    std::string lower;
    for (const char c : line)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return is_ar488_identity(line) || lower.rfind("prologix", 0) == 0 ||
           lower.find("version") != std::string::npos || lower.find("ver.") != std::string::npos;
}

long inter_character_ms(long call_ms) {
    if (call_ms <= 0)
        return kLongestInterCharacterMs;
    return std::clamp(call_ms, 1L, kLongestInterCharacterMs);
}

std::vector<std::string> setup_commands(Dialect dialect, int pad, int sad, long char_ms) {
    std::vector<std::string> out;
    // On a Prologix, "++savecfg 0" stops every later setting from being written to its EEPROM
    // (Prologix manual 8.16 savecfg). An AR488 writes its EEPROM at every "++savecfg" (AR488
    // manual, ++savecfg), so it never gets one.
    if (dialect == Dialect::prologix)
        out.push_back("++savecfg 0");
    out.push_back("++mode 1");        // controller (Prologix 8.12 mode; AR488 ++mode)
    out.push_back("++auto 0");        // no read-after-write: replies only on "++read" (8.2 auto)
    out.push_back("++eoi 1");         // EOI with the last byte of every write (8.4 eoi)
    out.push_back("++eos 3");         // nothing appended to writes (8.5 eos: 3 = none)
    out.push_back("++eot_enable 1");  // mark EOI on reads (8.6 eot_enable)
    out.push_back("++eot_char " + std::to_string(static_cast<int>(kEndMarker)));  // 8.7
    // A secondary address travels as 96..126, the driver's own 0x60..0x7E (Prologix 8.1 addr;
    // AR488 manual, "GPIB Addressing").
    out.push_back("++addr " + std::to_string(pad) + (sad != 0 ? " " + std::to_string(sad) : ""));
    out.push_back("++read_tmo_ms " + std::to_string(char_ms));  // 8.14 read_tmo_ms
    return out;
}

}  // namespace prologix
