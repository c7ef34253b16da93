// The POSIX and the Windows forms of portable.h.
#include "portable.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace portable {

std::vector<std::string> Environment_names() {
#ifdef _WIN32
    char** env = _environ;
#else
    char** env = environ;
#endif
    std::vector<std::string> names;
    for (; env != nullptr && *env != nullptr; ++env) {
        const std::string entry(*env);
        names.push_back(entry.substr(0, entry.find('=')));
    }
    return names;
}

std::string Make_temp_file(const std::string& stem) {
    std::error_code ec;
    std::string name = (std::filesystem::temp_directory_path(ec) / (stem + "XXXXXX")).string();
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return {};
    close(fd);
    return name;
}

std::string Make_temp_folder(const std::string& stem) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
#ifdef _WIN32
    // No mkdtemp: a random name, until one is new.
    std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = (dir / (stem + std::to_string(random() % 1000000))).string();
        if (std::filesystem::create_directory(name, ec))
            return name;
    }
    return {};
#else
    std::string name = (dir / (stem + "XXXXXX")).string();
    return mkdtemp(name.data()) != nullptr ? name : std::string();
#endif
}

std::string Program_folder() {
#ifdef _WIN32
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::filesystem::path(std::string(path, n)).parent_path().string();
#else
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
#endif
}

int Run_command(const std::string& command) {
    const int status = std::system(command.c_str());
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace portable
