// Resource strings: VISA's GPIB and TCPIP INSTR forms (NI-VISA and IVI's VISA library standard
// name instruments "GPIB0::5::INSTR" and "TCPIP0::host::gpib0,5::INSTR"; the board numbers
// and "::INSTR" may be left out, and a LAN device name defaults to "inst0"), pyvisa-py's forms for
// "++" adapters ("PRLGX-ASRL::/dev/ttyUSB0::INTFC", "PRLGX-TCPIP::host::1234::INTFC"), and this
// program's own: an adapter form that holds the scope's address, a port after a gateway's host,
// and "SIM::5::INSTR" for the simulated scope. Keywords are read without regard to case.
#include "scope/resource.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "scope/bus_address.h"
#include "scope/library_loader.h"
#include "scope/serial_port.h"

namespace scope {

namespace {

const char* const kResourceForms =
    "  GPIB[board]::address[::INSTR]              %BOARD%, e.g. GPIB0::5::INSTR\n"
    "  TCPIP[n]::host[:port]::device[::INSTR]     a VXI-11 LAN-GPIB gateway, e.g.\n"
    "                                             TCPIP0::192.168.1.40::gpib0,5::INSTR\n"
    "                                             (\":port\" is this program's addition)\n"
    "  PRLGX-ASRL::serial port::INTFC             a \"++\" USB adapter (Prologix, AR488);\n"
    "                                             the scope's address from --address\n"
    "  PRLGX-TCPIP::host[::port]::INTFC           a \"++\" LAN adapter (port 1234 unless given)\n"
    "  PRLGX-ASRL::serial port::address::INSTR    the same with the scope's address\n"
    "  PRLGX-TCPIP::host[::port]::address::INSTR  (this program's own form)\n"
    "  SIM[board]::address[::INSTR]               the simulated scope, e.g. SIM::5::INSTR\n"
    "  VISA::VISA resource                        any instrument the system's VISA reaches, e.g.\n"
    "                                             VISA::GPIB0::5::INSTR,\n"
    "                                             VISA::TCPIP0::host::gpib0,5::INSTR\n"
    "  USB[n]::vid::pid::serial[::intf]::INSTR    a USBTMC adapter, %USB%,\n"
    "                                             e.g. USB0::0x03EB::0x2065::SERIAL::INSTR\n"
    "%USBTMC%";

#if defined(_WIN32)
constexpr bool kUsbThroughVisa = true;
#else
constexpr bool kUsbThroughVisa = false;
#endif

}  // namespace

std::string Resource_forms() {
    std::string forms = kResourceForms;
    forms.replace(forms.find("%BOARD%"), 7, Board_driver_texts().board_phrase);
    forms.replace(forms.find("%USB%"), 5,
                  kUsbThroughVisa ? "through VISA" : "through the kernel's usbtmc driver");
    forms.replace(forms.find("%USBTMC%"), 8,
                  kUsbThroughVisa ? ""
                                  : "  USBTMC::device node::INSTR                 a USBTMC "
                                    "adapter's node, e.g. USBTMC::/dev/usbtmc0::INSTR\n");
    return forms;
}

namespace {

constexpr int kHighestBoard = 15;
constexpr int kDefaultAddress = 5;

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> tokens;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("::", start)) != std::string::npos; start = at + 2)
        tokens.push_back(text.substr(start, at - start));
    tokens.push_back(text.substr(start));
    return tokens;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Decimal digits only, within lowest..highest.
std::optional<int> Number(const std::string& s, int lowest, int highest) {
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::atoi(s.c_str());
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}

// "GPIB", "GPIB0" .. "GPIB15": the keyword with an optional board number.
std::optional<int> Keyword_board(const std::string& token, const std::string& keyword) {
    const std::string t = Upper(token);
    if (t.rfind(keyword, 0) != 0)
        return std::nullopt;
    if (t.size() == keyword.size())
        return 0;
    return Number(t.substr(keyword.size()), 0, kHighestBoard);
}

struct Reader {
    std::string text;

    ResourceReading refuse(const std::string& why) const {
        return {std::nullopt, "\"" + text + "\" is not a resource this program can use: " + why +
                                  ".\nAccepted forms:\n" + Resource_forms()};
    }
};

// A trailing "::INSTR" is optional where VISA makes it so.
void Drop_instr(std::vector<std::string>& tokens) {
    if (tokens.size() > 1 && Upper(tokens.back()) == "INSTR")
        tokens.pop_back();
}

ResourceReading Read_board_form(const Reader& r, std::vector<std::string> tokens, Resource res) {
    Drop_instr(tokens);
    if (tokens.size() == 3 && Number(tokens[2], 0, 126))
        return r.refuse("the program uses no secondary address; give the primary address only");
    if (tokens.size() != 2)
        return r.refuse("give the board and the scope's primary address, as in GPIB0::5::INSTR");
    const auto address = Number(tokens[1], 0, kHighestAddress);
    if (!address)
        return r.refuse("\"" + tokens[1] + "\" is not a primary address from 0 to 30");
    res.address = *address;
    return {res, {}};
}

bool Is_host_name(const std::string& host) {
    return !host.empty() && host.find_first_of(" \t/:\\") == std::string::npos;
}

ResourceReading Read_gateway_form(const Reader& r, std::vector<std::string> tokens) {
    Resource res;
    res.kind = InterfaceKind::LanGateway;
    Drop_instr(tokens);
    if (tokens.size() < 2 || tokens.size() > 3)
        return r.refuse(
            "give the gateway's host and its device name, as in "
            "TCPIP0::192.168.1.40::gpib0,5::INSTR");
    if (!Read_host_and_port(tokens[1], res.where, res.port).empty())
        return r.refuse("\"" + tokens[1] + "\" is not a host name or IPv4 address with an " +
                        "optional port from 1 to 65535");
    res.device = tokens.size() == 3 ? tokens[2] : "inst0";
    if (const std::string why = Lan_device_problem(res.device); !why.empty())
        return r.refuse(why);
    // The address in "gpib0,5" or "hpib,5" is the scope's; "inst0", an instrument on the LAN
    // itself, has none, and the driver is given the factory's.
    const auto comma = res.device.find(',');
    const auto named =
        comma == std::string::npos
            ? std::nullopt
            : Number(res.device.substr(comma + 1, res.device.find(',', comma + 1) - comma - 1), 0,
                     kHighestAddress);
    res.address = named.value_or(kDefaultAddress);
    return {res, {}};
}

ResourceReading Read_adapter_form(const Reader& r, std::vector<std::string> tokens, bool tcp,
                                  std::optional<int> address) {
    Resource res;
    res.kind = InterfaceKind::UsbAdapter;
    const std::string last = tokens.size() > 2 ? Upper(tokens.back()) : std::string();
    if (last != "INTFC" && last != "INSTR")
        return r.refuse(std::string("end an adapter's string with ::INTFC, or with the scope's "
                                    "address and ::INSTR, as in ") +
                        (tcp ? "PRLGX-TCPIP::192.168.1.50::1234::INTFC"
                             : "PRLGX-ASRL::" + std::string(Serial_port_example()) + "::INTFC"));
    tokens.pop_back();
    res.address = address.value_or(kDefaultAddress);
    if (last == "INSTR") {
        const auto named = Number(tokens.back(), 0, kHighestAddress);
        if (!named || tokens.size() < 3)
            return r.refuse("\"" + tokens.back() + "\" is not a primary address from 0 to 30");
        res.address = *named;
        tokens.pop_back();
    }
    res.where = tokens[1];
    if (!tcp) {
        if (tokens.size() != 2 || !Is_serial_port_name(res.where))
            return r.refuse(std::string("a serial port is ") + Serial_port_description());
        return {res, {}};
    }
    if (tokens.size() > 3 || res.where.empty() || Is_serial_port_name(res.where) ||
        res.where.find_first_of(" \t:") != std::string::npos)
        return r.refuse("give the adapter's host name or IPv4 address, then optionally its port");
    if (tokens.size() == 3) {
        const auto port = Number(tokens[2], 1, 65535);
        if (!port)
            return r.refuse("\"" + tokens[2] + "\" is not a TCP port from 1 to 65535");
        res.port = *port;
    }
    return {res, {}};
}

// A USB number: hexadecimal with 0x, or decimal, within 16 bits.
bool Usb_number(const std::string& s) {
    const std::string t = Upper(s);
    if (t.rfind("0X", 0) == 0)
        return t.size() > 2 && t.size() <= 6 &&
               t.find_first_not_of("0123456789ABCDEF", 2) == std::string::npos;
    return Number(s, 0, 0xFFFF).has_value();
}

// The address of a VISA GPIB resource ("GPIB0::7::INSTR"), for the settings' GPIB_ADDRESS.
std::optional<int> Visa_gpib_address(const std::string& resource) {
    const std::vector<std::string> tokens = Split(resource);
    if (tokens.size() < 2 || !Keyword_board(tokens[0], "GPIB"))
        return std::nullopt;
    return Number(tokens[1], 0, kHighestAddress);
}

ResourceReading Read_visa_form(const Reader& r, const std::string& text,
                               std::optional<int> address) {
    Resource res;
    res.kind = InterfaceKind::Visa;
    res.where = text.substr(text.find("::") + 2);
    if (res.where.empty() || res.where.find_first_of(" \t") != std::string::npos ||
        Split(res.where).size() < 2)
        return r.refuse("give a VISA resource after VISA::, as in VISA::GPIB0::5::INSTR");
    res.address = Visa_gpib_address(res.where).value_or(address.value_or(kDefaultAddress));
    return {res, {}};
}

ResourceReading Read_usb_form(const Reader& r, const std::string& text,
                              std::optional<int> address) {
    if (!Is_usb_resource(text))
        return r.refuse(
            "give the adapter's vendor and product numbers, serial number and ::INSTR, as in "
            "USB0::0x03EB::0x2065::SERIAL::INSTR");
    Resource res;
    res.kind = kUsbThroughVisa ? InterfaceKind::Visa : InterfaceKind::Usbtmc;
    res.where = text;
    res.address = address.value_or(kDefaultAddress);
    return {res, {}};
}

ResourceReading Read_usbtmc_form(const Reader& r, std::vector<std::string> tokens,
                                 std::optional<int> address) {
    if (kUsbThroughVisa)
        return r.refuse(
            "USBTMC device nodes are Linux's; on Windows give the USB resource, as "
            "in USB0::0x03EB::0x2065::SERIAL::INSTR");
    Drop_instr(tokens);
    if (tokens.size() != 2 || tokens[1].rfind("/dev/", 0) != 0 || tokens[1].size() <= 5 ||
        tokens[1].find_first_of(" \t") != std::string::npos)
        return r.refuse("give the adapter's device node, as in USBTMC::/dev/usbtmc0::INSTR");
    Resource res;
    res.kind = InterfaceKind::Usbtmc;
    res.where = tokens[1];
    res.address = address.value_or(kDefaultAddress);
    return {res, {}};
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

ResourceReading Parse_resource(const std::string& text, std::optional<int> address) {
    const Reader r{text};
    std::vector<std::string> tokens = Split(text);
    const std::string keyword = Upper(tokens[0]);
    if (keyword.rfind("PRLGX-ASRL", 0) == 0 || keyword.rfind("PRLGX-TCPIP", 0) == 0) {
        const bool tcp = keyword.rfind("PRLGX-TCPIP", 0) == 0;
        if (!Keyword_board(keyword, tcp ? "PRLGX-TCPIP" : "PRLGX-ASRL"))
            return r.refuse("\"" + tokens[0] + "\" is not an interface name");
        return Read_adapter_form(r, tokens, tcp, address);
    }
    if (keyword == "VISA" && tokens.size() > 1)
        return Read_visa_form(r, text, address);
    if (keyword == "USBTMC")
        return Read_usbtmc_form(r, tokens, address);
    if (keyword.rfind("USB", 0) == 0 && Keyword_board(keyword, "USB"))
        return Read_usb_form(r, text, address);
    if (keyword.rfind("TCPIP", 0) == 0) {
        // VISA numbers LAN boards without a limit of its own (TCPIP16 is as good as TCPIP0);
        // the gateway library has one connection per device, so the number is not kept.
        if (keyword != "TCPIP" && !Number(keyword.substr(5), 0, 999999))
            return r.refuse("\"" + tokens[0] + "\" is not an interface name");
        return Read_gateway_form(r, tokens);
    }
    for (const auto& [name, kind] : {std::pair{"GPIB", InterfaceKind::GpibBoard},
                                     std::pair{"SIM", InterfaceKind::Simulated}}) {
        if (keyword.rfind(name, 0) != 0)
            continue;
        const auto board = Keyword_board(keyword, name);
        if (!board)
            return r.refuse("\"" + tokens[0] + "\" is not " + name +
                            " with a board number from 0 to 15");
        Resource res;
        res.kind = kind;
        res.board = *board;
        return Read_board_form(r, tokens, res);
    }
    return r.refuse(text.empty() ? "it is empty" : "it names no interface this program knows");
}

bool Is_usb_resource(const std::string& text) {
    std::vector<std::string> tokens = Split(text);
    if (tokens.size() < 5 || tokens.size() > 6 || Upper(tokens.back()) != "INSTR" ||
        !Keyword_board(tokens[0], "USB") || Upper(tokens[0]).rfind("USBTMC", 0) == 0)
        return false;
    const bool interface_ok = tokens.size() == 5 || Number(tokens[4], 0, 255).has_value();
    return Usb_number(tokens[1]) && Usb_number(tokens[2]) && !tokens[3].empty() &&
           tokens[3].find_first_of(" \t") == std::string::npos && interface_ok;
}

std::string Resource_text(const Resource& res) {
    const std::string address = std::to_string(res.address);
    const std::string port = res.port != 0 ? std::to_string(res.port) : std::string();
    switch (res.kind) {
        case InterfaceKind::GpibBoard:
            return "GPIB" + std::to_string(res.board) + "::" + address + "::INSTR";
        case InterfaceKind::Simulated:
            return "SIM" + (res.board != 0 ? std::to_string(res.board) : "") + "::" + address +
                   "::INSTR";
        case InterfaceKind::LanGateway:
            return "TCPIP0::" + res.where + (port.empty() ? "" : ":" + port) + "::" + res.device +
                   "::INSTR";
        case InterfaceKind::UsbAdapter:
            if (Is_serial_port_name(res.where))
                return "PRLGX-ASRL::" + res.where + "::" + address + "::INSTR";
            return "PRLGX-TCPIP::" + res.where + (port.empty() ? "" : "::" + port) +
                   "::" + address + "::INSTR";
        case InterfaceKind::Visa:
            return "VISA::" + res.where;
        case InterfaceKind::Usbtmc:
            return res.where.rfind("/", 0) == 0 ? "USBTMC::" + res.where + "::INSTR" : res.where;
    }
    return {};
}

Settings Driver_settings(const Resource& res, const LibraryLocator& locate) {
    const std::string board = std::to_string(res.board);
    const std::string address = std::to_string(res.address);
    const std::string port = res.port != 0 ? ":" + std::to_string(res.port) : std::string();
    switch (res.kind) {
        case InterfaceKind::GpibBoard:
            return {{"GPIB_LIBRARY", ""}, {"GPIB_BOARD", board}, {"GPIB_ADDRESS", address}};
        case InterfaceKind::Simulated:
            return {{"GPIB_LIBRARY", locate("libhp54200a_sim.so")},
                    {"GPIB_BOARD", board},
                    {"GPIB_ADDRESS", address}};
        case InterfaceKind::LanGateway:
            return {{"GPIB_LIBRARY", locate("libgpib_vxi11.so")},
                    {"GPIB_BOARD", "0"},
                    {"GPIB_ADDRESS", address},
                    {"VXI11_HOST", res.where + port},
                    {"VXI11_DEVICE", res.device}};
        case InterfaceKind::UsbAdapter:
            return {{"GPIB_LIBRARY", locate("libgpib_prologix.so")},
                    {"GPIB_BOARD", "0"},
                    {"GPIB_ADDRESS", address},
                    {"PROLOGIX_PORT", res.where + port}};
        case InterfaceKind::Visa:
            return {{"GPIB_LIBRARY", locate("libgpib_visa.so")},
                    {"GPIB_BOARD", "0"},
                    {"GPIB_ADDRESS", address},
                    {"VISA_RESOURCE", res.where}};
        case InterfaceKind::Usbtmc:
            return {{"GPIB_LIBRARY", locate("libgpib_usbtmc.so")},
                    {"GPIB_BOARD", "0"},
                    {"GPIB_ADDRESS", address},
                    {"USBTMC_DEVICE", res.where}};
    }
    return {};
}

std::string Resource_in_environment() {
    const std::string library = Variable("GPIB_LIBRARY");
    const std::string name = Linux_library_name(library);
    const BusAddressReading bus = Read_bus_address();
    Resource res;
    res.board = bus.address.board;
    res.address = bus.address.primary_address;
    if (library.empty() || name.rfind("libgpib.so", 0) == 0) {
        res.kind = InterfaceKind::GpibBoard;
    } else if (name.rfind("libhp54200a_sim", 0) == 0) {
        res.kind = InterfaceKind::Simulated;
    } else if (name == "libgpib_prologix.so") {
        res.kind = InterfaceKind::UsbAdapter;
        const std::string where = Variable("PROLOGIX_PORT");
        const auto colon = where.rfind(':');
        res.where = where.substr(0, Is_serial_port_name(where) ? std::string::npos : colon);
        if (res.where.size() < where.size())
            res.port = std::atoi(where.c_str() + colon + 1);
    } else if (name == "libgpib_vxi11.so") {
        res.kind = InterfaceKind::LanGateway;
        const std::string host = Variable("VXI11_HOST");
        const auto colon = host.rfind(':');
        res.where = host.substr(0, colon);
        if (colon != std::string::npos)
            res.port = std::atoi(host.c_str() + colon + 1);
        res.device = Variable("VXI11_DEVICE");
        if (res.device.empty())
            res.device = "gpib" + std::to_string(res.board) + "," + std::to_string(res.address);
    } else if (name == "libgpib_visa.so") {
        res.kind = InterfaceKind::Visa;
        res.where = Variable("VISA_RESOURCE");
        if (res.where.empty())
            res.where =
                "GPIB" + std::to_string(res.board) + "::" + std::to_string(res.address) + "::INSTR";
    } else if (name == "libgpib_usbtmc.so") {
        res.kind = InterfaceKind::Usbtmc;
        res.where = Variable("USBTMC_DEVICE");
        if (res.where.empty())
            res.where = "/dev/usbtmc0";
    } else {
        return library;
    }
    return Resource_text(res);
}

std::string Read_host_and_port(const std::string& text, std::string& host, int& port) {
    const auto colon = text.find(':');
    host = text.substr(0, colon);
    port = 0;
    if (host.empty())
        return "give the host name or IPv4 address";
    if (!Is_host_name(host))
        return "\"" + host + "\" is not a host name or IPv4 address (no blanks, \"/\" or \"\\\")";
    if (colon == std::string::npos)
        return {};
    const std::string digits = text.substr(colon + 1);
    const auto number = Number(digits, 1, 65535);
    if (!number)
        return digits.empty() ? "give the port after \":\", from 1 to 65535"
                              : "\"" + digits + "\" is not a TCP port from 1 to 65535";
    port = *number;
    return {};
}

std::string Lan_device_problem(const std::string& device) {
    constexpr std::size_t kLongestDeviceName = 64;
    if (device.empty())
        return "give the gateway's name for the instrument, such as gpib0,5 or inst0";
    const auto bad = std::find_if(device.begin(), device.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) == 0 && c != ',' && c != '.' &&
               c != '_' && c != '-';
    });
    if (bad != device.end() || device.size() > kLongestDeviceName)
        return "\"" + device +
               "\" is not a LAN device name: it holds letters, digits and , . _ - only (no "
               "blanks or colons), at most 64 characters, such as gpib0,5 or inst0";
    return {};
}

std::string Device_at_address(const std::string& device, int address) {
    const auto comma = device.find(',');
    if (comma == std::string::npos)
        return device;
    return device.substr(0, comma + 1) + std::to_string(address);
}

}  // namespace scope
