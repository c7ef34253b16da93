// Loads the simulated scope the way the program loads a GPIB driver (the program's library
// loader, of $HP_SIM_LIBRARY or of a variant beside it) and offers its entry points with small
// conveniences for tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "portable.h"
#include "scope/gpib_defs.h"
#include "scope/library_loader.h"

namespace sim_test {

// The simulator's folder: $HP_SIM_DIR, else build/sim beside the folder of this test program.
inline std::string sim_dir() {
    if (const char* dir = std::getenv("HP_SIM_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    return portable::Program_folder() + "/../sim";
}

inline std::string sim_library_path(const std::string& variant = "") {
    if (variant.empty()) {
        if (const char* lib = std::getenv("HP_SIM_LIBRARY"); lib != nullptr && *lib != '\0')
            return lib;
    }
    return sim_dir() + "/" +
           scope::Library_file_name("lib" + (variant.empty() ? "hp54200a_sim" : variant) + ".so");
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
        std::string reason;
        handle = scope::Open_library(path.c_str(), reason);
        if (handle == nullptr) {
            ADD_FAILURE() << "cannot load " << path << ": " << reason;
            return;
        }
        ibsta = symbol<int*>("user_ibsta");
        iberr = symbol<int*>("user_iberr");
        ibcnt = symbol<int*>("user_ibcnt");
        ibdev = symbol<gpib::ibdev_fn>("ibdev");
        ibclr = symbol<gpib::ibclr_fn>("ibclr");
        ibwrt = symbol<gpib::ibwrt_fn>("ibwrt");
        ibrd = symbol<gpib::ibrd_fn>("ibrd");
        ibonl = symbol<gpib::ibonl_fn>("ibonl");
    }
    ~SimDriver() {
        if (handle != nullptr)
            scope::Close_library(handle);
    }
    // An export of the library, as a pointer of the type given (nullptr when it has none).
    template <typename T>
    T symbol(const char* name) const {
        return reinterpret_cast<T>(scope::Library_export(handle, name));
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
