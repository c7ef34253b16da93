// Where the adapter is (PROLOGIX_PORT, PROLOGIX_BAUD), which of the two "++" dialects it
// speaks, and the settings the driver gives it when a device is opened.
#pragma once

#include <string>
#include <vector>

namespace prologix {

enum class Dialect { prologix, ar488 };

struct PortSetting {
    std::string where;    // a device path or host[:port]
    long baud = 115200;   // serial ports only
    std::string problem;  // why the setting cannot be used; empty when it can
};

PortSetting read_port_setting();

// The dialect from an identification line ("++ver" or "++ver real").
bool is_ar488_identity(const std::string& line);
// Whether a line can be an adapter's answer to "++ver" (not a reading, an echo or a complaint).
bool is_version_line(const std::string& line);

// The adapter's per-character read time-out for a call limit of call_ms (0 = none).
long inter_character_ms(long call_ms);

// The commands that put the adapter in the state the driver needs, in the order to send them.
std::vector<std::string> setup_commands(Dialect dialect, int pad, int sad, long char_ms);

}  // namespace prologix
