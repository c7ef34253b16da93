// Loads the simulated scope the way the program loads a GPIB driver (dlopen of $HP_SIM_LIBRARY,
// or of a variant beside it) and offers its entry points with small conveniences for tests.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "scope/gpib_defs.h"

namespace sim_test {

// The simulator's folder: $HP_SIM_DIR, else build/sim beside the folder of this test program.
inline std::string sim_dir() {
    if (const char* dir = std::getenv("HP_SIM_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (exe.parent_path().parent_path() / "sim").string();
}

inline std::string sim_library_path(const std::string& variant = "") {
    if (variant.empty()) {
        if (const char* lib = std::getenv("HP_SIM_LIBRARY"); lib != nullptr && *lib != '\0')
            return lib;
    }
    return sim_dir() + "/lib" + (variant.empty() ? "hp54200a_sim" : variant) + ".so";
}

struct SimDriver {
    void* handle = nullptr;
    int* ibsta = nullptr;
    int* iberr = nullptr;
    int* ibcnt = nullptr;
    gpib::ibdev_fn ibdev = nullptr;
    gpib::ibclr_fn ibclr = nullptr;
    gpib::ibwrt_fn ibwrt = nullptr;
    gpib::ibrd_fn ibrd = nullptr;
    gpib::ibonl_fn ibonl = nullptr;

    explicit SimDriver(const std::string& path = sim_library_path()) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
            return;
        }
        ibsta = static_cast<int*>(dlsym(handle, "user_ibsta"));
        iberr = static_cast<int*>(dlsym(handle, "user_iberr"));
        ibcnt = static_cast<int*>(dlsym(handle, "user_ibcnt"));
        ibdev = reinterpret_cast<gpib::ibdev_fn>(dlsym(handle, "ibdev"));
        ibclr = reinterpret_cast<gpib::ibclr_fn>(dlsym(handle, "ibclr"));
        ibwrt = reinterpret_cast<gpib::ibwrt_fn>(dlsym(handle, "ibwrt"));
        ibrd = reinterpret_cast<gpib::ibrd_fn>(dlsym(handle, "ibrd"));
        ibonl = reinterpret_cast<gpib::ibonl_fn>(dlsym(handle, "ibonl"));
    }
    ~SimDriver() {
        if (handle != nullptr)
            dlclose(handle);
    }
    SimDriver(const SimDriver&) = delete;
    SimDriver& operator=(const SimDriver&) = delete;

    bool loaded() const { return handle != nullptr && ibdev != nullptr && ibsta != nullptr; }

    int open() { return ibdev(0, 5, 0, 12, 1, 0); }
    int write(int ud, const std::string& text) {
        return ibwrt(ud, text.data(), static_cast<long>(text.size()));
    }
    std::string read(int ud, long count = 4096) {
        std::string buf(static_cast<std::size_t>(count), '\0');
        ibrd(ud, buf.data(), count);
        buf.resize(*ibsta & gpib::ERR ? 0 : static_cast<std::size_t>(*ibcnt));
        return buf;
    }
    std::string query(int ud, const std::string& text, long count = 70000) {
        write(ud, text);
        return read(ud, count);
    }
};

}  // namespace sim_test
