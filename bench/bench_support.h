// Shared by the benchmarks that talk to the simulated scope.
#pragma once

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace bench_support {

// $HP_SIM_LIBRARY, else the simulator built beside the benchmark programs.
inline std::string Simulator_path() {
    if (const char* p = std::getenv("HP_SIM_LIBRARY"); p != nullptr && *p != '\0')
        return p;
    char exe[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string("./x");
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../sim/libhp54200a_sim.so";
}

}  // namespace bench_support
