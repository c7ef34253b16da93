// Where the scope sits on the bus: the board index of the GPIB interface and the scope's primary
// address, from GPIB_BOARD and GPIB_ADDRESS. The defaults (board 0, address 5, the address the
// HP 54200A leaves the factory with) hold when a variable is unset or empty.
#pragma once

#include <optional>
#include <string>

namespace scope {

struct BusAddress {
    int board = 0;
    int primary_address = 5;
};

// The address the connection opens (the defaults until Configure_bus_address has run).
extern BusAddress Bus;

// The address from the environment, or the text that refuses a value: it names the variable,
// the value and the valid range.
struct BusAddressReading {
    BusAddress address;
    std::optional<std::string> refusal;
};
BusAddressReading Read_bus_address();

// At start, before the window appears: takes the address from the environment, or shows the
// refusal in an error box and on standard error and stops the program, before any driver call.
void Configure_bus_address();

}  // namespace scope
