// Serial port names on POSIX systems: device paths.
#include <algorithm>
#include <filesystem>

#include "scope/serial_port.h"

namespace scope {

bool Is_serial_port_name(const std::string& where) {
    return !where.empty() && where[0] == '/';
}

const char* Serial_port_example() {
    return "/dev/ttyUSB0";
}

const char* Serial_port_description() {
    return "a device path, such as /dev/ttyUSB0";
}

const char* Serial_port_open_advice() {
    return "? To use a serial port you must be in the dialout group "
           "(sudo adduser $USER dialout, then log in again).";
}

bool Serial_port_present(const std::string& where) {
    std::error_code ec;
    return std::filesystem::exists(where, ec);
}

std::vector<std::string> Serial_ports_present() {
    std::vector<std::string> ports;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0)
            ports.push_back(entry.path().string());
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

}  // namespace scope
