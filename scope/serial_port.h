// What names a serial port rather than a network host in a connection string, the system's own
// way: a device path on Linux ("/dev/ttyUSB0"), "COM3" or "\\.\COM10" on Windows.
#pragma once

#include <string>
#include <vector>

namespace scope {

bool Is_serial_port_name(const std::string& where);
// A serial port's name as the help and the refusals show it ("/dev/ttyUSB0", "COM3").
const char* Serial_port_example();
// What a serial port's name is, for a refusal ("a device path, such as /dev/ttyUSB0").
const char* Serial_port_description();
// What ends "Is the adapter plugged in at <port>" when the port cannot be opened: the
// permission a Linux user needs, the other programs that may hold a Windows COM port.
const char* Serial_port_open_advice();
// Whether the system has the serial port now (a USB adapter may be unplugged).
bool Serial_port_present(const std::string& where);
// The serial ports present, sorted, for the Connection dialog's list: the USB serial devices
// (/dev/ttyUSB*, /dev/ttyACM*) on Linux, the COM ports on Windows.
std::vector<std::string> Serial_ports_present();

}  // namespace scope
