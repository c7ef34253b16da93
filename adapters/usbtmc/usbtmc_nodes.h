// The USBTMC nodes present and what they are: each usbtmcN the kernel lists, with its USB
// device's vendor and product numbers, serial number and interface number, read from sysfs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "adapters/usbtmc/device_calls.h"

namespace usbtmc {

struct Node {
    std::string path;  // "/dev/usbtmc0"
    unsigned vendor = 0;
    unsigned product = 0;
    std::string serial;  // empty when the device gives none
    int interface_number = -1;
};

std::vector<Node> Nodes_present(const DeviceCalls& calls);

// The node a USB resource string names (USB[n]::vid::pid::serial[::interface]::INSTR); the
// reason when the string is malformed or no such device is present.
struct NodeLookup {
    std::optional<Node> node;
    std::string reason;
};
NodeLookup Find_node(const DeviceCalls& calls, const std::string& resource);

// The resource string of a node: its USB form, or "USBTMC::<node>::INSTR" without a serial
// number.
std::string Resource_of(const Node& node);

}  // namespace usbtmc
