// Test harness for the simulated HP 54200A: sets its HP_SIM_* environment for one test (and
// clears it before and after, so tests cannot leak settings into each other), gives it a fresh
// traffic log file and reads that log back as entries.
//
// The simulator reads its settings when it is loaded and at every ibdev, so settings made here
// take effect at the next connection.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/environment.h"
#include "portable.h"

namespace sim_harness {

// One line of the traffic log.
struct LogEntry {
    double time = 0.0;     // seconds since the library was loaded
    std::string function;  // "load", "ibdev", "ibwrt", "ibrd", ... "unload"
    std::string args;      // e.g. "ud=1 count=5"
    std::string data;      // the bytes written or read, unescaped
    int status = 0;        // the status word after the call
    int iberr = 0;
    long ibcnt = 0;
};

// The inverse of the log's C escaping: \r \n \t \" \\ and \xHH.
inline std::string unescape_c(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char e = text[++i];
        if (e == 'r') {
            out += '\r';
        } else if (e == 'n') {
            out += '\n';
        } else if (e == 't') {
            out += '\t';
        } else if (e == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += e;  // \" and \\ .
        }
    }
    return out;
}

inline LogEntry parse_log_line(const std::string& line) {
    std::vector<std::string> f;
    std::string::size_type start = 0;
    for (;;) {
        auto tab = line.find('\t', start);
        f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    LogEntry e;
    if (f.size() != 7) {
        e.function = "<malformed>";
        e.data = line;
        return e;
    }
    e.time = std::stod(f[0]);
    e.function = f[1];
    e.args = f[2];
    const std::string& quoted = f[3];
    e.data = unescape_c(quoted.size() >= 2 ? quoted.substr(1, quoted.size() - 2) : quoted);
    e.status = static_cast<int>(std::stol(f[4], nullptr, 16));
    e.iberr = std::stoi(f[5]);
    e.ibcnt = std::stol(f[6]);
    return e;
}

class SimHarness {
  public:
    SimHarness(std::initializer_list<std::pair<std::string, std::string>> settings = {}) {
        clear_settings();
        log_path_ = portable::Make_temp_file("hp_sim_log_");
        set("HP_SIM_LOG", log_path_);
        for (const auto& [key, value] : settings) set(key, value);
    }
    ~SimHarness() {
        clear_settings();
        std::remove(log_path_.c_str());
    }
    SimHarness(const SimHarness&) = delete;
    SimHarness& operator=(const SimHarness&) = delete;

    // Full name, e.g. set("HP_SIM_CH1_SHAPE", "square").
    void set(const std::string& name, const std::string& value) {
        platform::Set_environment_variable(name, value);
    }
    void unset(const std::string& name) { platform::Unset_environment_variable(name); }

    const std::string& log_path() const { return log_path_; }

    // Empties the log (the file stays, so the simulator keeps writing to it).
    void clear_log() const { std::ofstream(log_path_, std::ios::trunc); }

    std::vector<LogEntry> log() const {
        std::vector<LogEntry> entries;
        std::ifstream in(log_path_);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty())
                entries.push_back(parse_log_line(line));
        }
        return entries;
    }

    // The function names, in order.
    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        for (const auto& e : log()) out.push_back(e.function);
        return out;
    }
    // The texts written with ibwrt, in order (failed writes included).
    std::vector<std::string> writes() const { return data_of("ibwrt"); }
    // The bytes each ibrd delivered, in order.
    std::vector<std::string> reads() const { return data_of("ibrd"); }

  private:
    std::string log_path_;

    std::vector<std::string> data_of(const std::string& function) const {
        std::vector<std::string> out;
        for (const auto& e : log()) {
            if (e.function == function)
                out.push_back(e.data);
        }
        return out;
    }

    // Every HP_SIM_* variable except the two that locate the simulator itself.
    static void clear_settings() {
        for (const auto& name : portable::Environment_names()) {
            if (name.rfind("HP_SIM_", 0) == 0 && name != "HP_SIM_LIBRARY" && name != "HP_SIM_DIR")
                platform::Unset_environment_variable(name);
        }
    }
};

}  // namespace sim_harness
