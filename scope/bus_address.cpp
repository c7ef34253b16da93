// The bus address from the environment, checked before the program touches the driver: a scope
// set to another address than the factory's 5, or an interface that is not board 0, is the first
// thing an owner has to tell the program.
#include "scope/bus_address.h"

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace scope {

BusAddress Bus;

namespace {

struct Setting {
    const char* variable;
    const char* what;
    int highest;
};

constexpr Setting kBoard{"GPIB_BOARD", "board index", 15};
constexpr Setting kAddress{"GPIB_ADDRESS", "primary address", 30};

// Decimal digits only and within 0..highest; anything else (signs, spaces, hex, overlong
// numbers) is refused rather than guessed at.
std::optional<int> Parse_setting(const std::string& text, int highest) {
    if (text.empty())
        return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > highest)
            return std::nullopt;
    }
    return static_cast<int>(value);
}

// Unset or empty keeps the default; a value is taken or refused.
std::optional<std::string> Read_setting(const Setting& s, int& field) {
    const char* text = std::getenv(s.variable);
    if (text == nullptr || text[0] == '\0')
        return std::nullopt;
    if (const auto value = Parse_setting(text, s.highest)) {
        field = *value;
        return std::nullopt;
    }
    return std::string(s.variable) + "=\"" + text + "\" is not a valid GPIB " + s.what +
           ": use a number from 0 to " + std::to_string(s.highest) + ".";
}

}  // namespace

BusAddressReading Read_bus_address() {
    BusAddressReading r;
    r.refusal = Read_setting(kBoard, r.address.board);
    if (!r.refusal)
        r.refusal = Read_setting(kAddress, r.address.primary_address);
    return r;
}

void Configure_bus_address() {
    const BusAddressReading r = Read_bus_address();
    if (r.refusal) {
        std::fprintf(stderr, "hp54200a: %s\n", r.refusal->c_str());
        platform::current().message_box(platform::BoxKind::Error, "Error", *r.refusal);
        platform::stop_program();
    }
    Bus = r.address;
}

}  // namespace scope
