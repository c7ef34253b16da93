// The ways to the scope, named by resource strings in the forms people type into VISA tools:
// a linux-gpib board, a "++" USB or LAN adapter, a VXI-11 LAN-GPIB gateway, or the simulated
// scope. Each maps to the driver library that comes with the program (or the system's GPIB
// library) and to the settings that library reads from the environment, so the program binds
// its driver exactly as when those settings are given by hand.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace scope {

// The highest primary address on the bus (IEEE 488: 0 to 30).
inline constexpr int kHighestAddress = 30;

// Visa: any resource of the system's VISA library; Usbtmc: a USBTMC adapter through Linux's
// usbtmc driver.
enum class InterfaceKind { GpibBoard, UsbAdapter, LanGateway, Simulated, Visa, Usbtmc };

struct Resource {
    InterfaceKind kind = InterfaceKind::GpibBoard;
    int board = 0;    // the GPIB board index (a board or the simulated scope)
    int address = 5;  // the scope's primary address
    // An adapter's serial device, or an adapter's or gateway's host name or IPv4 address; a VISA
    // resource string; a USBTMC adapter's USB resource string or its device node.
    std::string where;
    int port = 0;        // a TCP port after the host; 0 for the default
    std::string device;  // a gateway's name for the instrument ("gpib0,5", "hpib,5", "inst0")
};

// The VISA resource string of a USB instrument: USB[n]::vid::pid::serial[::interface]::INSTR,
// the numbers in hexadecimal (0x03EB) or decimal.
bool Is_usb_resource(const std::string& text);

// The accepted forms, one per line, for messages and --help.
std::string Resource_forms();

// A resource string read, or the message that refuses it: it quotes the string, says what is
// wrong and lists the accepted forms. `address` is the scope's address for the forms that name
// only the interface (an adapter's "::INTFC"): the --address option's or the dialog's, else 5.
// A gateway's device name holds the address ("gpib0,5"), or names a LAN instrument ("inst0").
struct ResourceReading {
    std::optional<Resource> resource;
    std::string refusal;
};
ResourceReading Parse_resource(const std::string& text, std::optional<int> address = {});

// The resource in its canonical form, which Parse_resource reads back to the same resource.
std::string Resource_text(const Resource& resource);

// The environment settings that make the driver binding reach the resource: GPIB_LIBRARY (empty
// for the system's library), GPIB_BOARD, GPIB_ADDRESS, and the adapter's or gateway's own.
// `locate` gives the path of one of the program's driver libraries from its file name.
using Settings = std::vector<std::pair<std::string, std::string>>;
using LibraryLocator = std::function<std::string(const std::string& file_name)>;
Settings Driver_settings(const Resource& resource, const LibraryLocator& locate);

// The resource that the environment's settings name, for the window's title; the library's own
// name when GPIB_LIBRARY names a library that is none of the known ones.
std::string Resource_in_environment();

// The pieces of a resource typed one by one (the Connection dialog's fields): a host name or
// IPv4 address with an optional ":port" (1 to 65535), and a LAN device name. Each returns why the
// text cannot be used, empty when it can.
std::string Read_host_and_port(const std::string& text, std::string& host, int& port);
// A LAN device name is the gateway's own name for the instrument: letters, digits and the
// characters "," "." "_" "-", with no blanks or colons, up to 64 characters ("gpib0,5",
// "hpib,7", "inst0"). The number after the first comma is the scope's address.
std::string Lan_device_problem(const std::string& device);

// The gateway device name for another primary address: "gpib0,5" becomes "gpib0,9", "hpib,5"
// "hpib,9"; a name without an address ("inst0") stays as it is.
std::string Device_at_address(const std::string& device, int address);

}  // namespace scope
