// Serial port names on Windows: "COMn", or "\\.\COMn" as COM10 and above must be opened.
#include <windows.h>

#include <cctype>

#include "scope/serial_port.h"

namespace scope {
namespace {

// The name without the device namespace's "\\.\" prefix.
std::string Dos_name(const std::string& where) {
    return where.rfind("\\\\.\\", 0) == 0 ? where.substr(4) : where;
}

}  // namespace

bool Is_serial_port_name(const std::string& where) {
    const std::string name = Dos_name(where);
    if (name.size() < 4 || name.size() > 6 || name[3] == '0')
        return false;
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return false;
    }
    return name.find_first_not_of("0123456789", 3) == std::string::npos;
}

const char* Serial_port_example() {
    return "COM3";
}

const char* Serial_port_description() {
    return "a COM port, such as COM3 or \\\\.\\COM10";
}

const char* Serial_port_open_advice() {
    return "? No other program may have the port open; Device Manager lists the adapter's "
           "port under Ports (COM & LPT).";
}

bool Serial_port_present(const std::string& where) {
    // QueryDosDeviceA finds the MS-DOS device name ("COM3") only while its device is there.
    char target[512];
    return QueryDosDeviceA(Dos_name(where).c_str(), target, sizeof target) != 0;
}

std::vector<std::string> Serial_ports_present() {
    // COM1 .. COM256, the range of names Windows gives serial ports, asked one by one.
    std::vector<std::string> ports;
    for (int n = 1; n <= 256; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (Serial_port_present(name))
            ports.push_back(name);
    }
    return ports;
}

}  // namespace scope
