// Looking USBTMC nodes up in sysfs: <class>/usbtmcN/device is the USB interface, whose folder
// holds bInterfaceNumber and whose parent, the USB device, idVendor, idProduct and serial.
#include "adapters/usbtmc/usbtmc_nodes.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace usbtmc {
namespace {

std::string First_line(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

std::optional<unsigned> Number(const std::string& text, int base) {
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, base);
    if (end == nullptr || *end != '\0' || value > 0xFFFF)
        return std::nullopt;
    return static_cast<unsigned>(value);
}

// A number of a resource string: 0x-prefixed hexadecimal, or decimal.
bool Resource_number(const std::string& text, unsigned& value) {
    std::optional<unsigned> n;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        n = Number(text.substr(2), 16);
    else if (text.find_first_not_of("0123456789") == std::string::npos)
        n = Number(text, 10);
    value = n.value_or(0);
    return n.has_value();
}

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

}  // namespace

std::vector<Node> Nodes_present(const DeviceCalls& calls) {
    std::vector<Node> nodes;
    DIR* dir = opendir(calls.sysfs_class_dir);
    if (dir == nullptr)
        return nodes;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("usbtmc", 0) != 0)
            continue;
        const std::string interface = std::string(calls.sysfs_class_dir) + "/" + name + "/device";
        Node node;
        node.path = std::string(calls.dev_dir) + "/" + name;
        node.vendor = Number(First_line(interface + "/../idVendor"), 16).value_or(0);
        node.product = Number(First_line(interface + "/../idProduct"), 16).value_or(0);
        node.serial = First_line(interface + "/../serial");
        const auto number = Number(First_line(interface + "/bInterfaceNumber"), 16);
        node.interface_number = number ? static_cast<int>(*number) : -1;
        nodes.push_back(node);
    }
    closedir(dir);
    std::sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) {
        return a.path.size() != b.path.size() ? a.path.size() < b.path.size() : a.path < b.path;
    });
    return nodes;
}

NodeLookup Find_node(const DeviceCalls& calls, const std::string& resource) {
    const std::vector<std::string> t = Split(resource);
    const bool shaped = (t.size() == 5 || t.size() == 6) && Upper(t.back()) == "INSTR" &&
                        Upper(t[0]).rfind("USB", 0) == 0;
    unsigned vendor = 0;
    unsigned product = 0;
    unsigned interface = 0;
    if (!shaped || !Resource_number(t[1], vendor) || !Resource_number(t[2], product) ||
        (t.size() == 6 && !Resource_number(t[4], interface)) || t[3].empty())
        return {std::nullopt, "\"" + resource +
                                  "\" is not a USB resource "
                                  "(USB0::vendor::product::serial[::interface]::INSTR)"};
    for (const Node& node : Nodes_present(calls)) {
        if (node.vendor == vendor && node.product == product && node.serial == t[3] &&
            (t.size() == 5 || node.interface_number == static_cast<int>(interface)))
            return {node, {}};
    }
    char ids[32];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, product);
    return {std::nullopt, std::string("no USBTMC device ") + ids + " with serial number \"" + t[3] +
                              "\" is present (" + calls.sysfs_class_dir + " lists none such)"};
}

std::string Resource_of(const Node& node) {
    if (node.serial.empty())
        return "USBTMC::" + node.path + "::INSTR";
    char ids[32];
    std::snprintf(ids, sizeof ids, "0x%04X::0x%04X::", node.vendor, node.product);
    return "USB0::" + std::string(ids) + node.serial + "::INSTR";
}

}  // namespace usbtmc
