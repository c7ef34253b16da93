// Loading a library on POSIX systems: dlopen, dlsym, dlclose.
#include <dlfcn.h>

#include "scope/library_loader.h"

namespace scope {

const BoardDriverTexts& Board_driver_texts() {
    static const BoardDriverTexts texts{"linux-gpib", "a linux-gpib board",
                                        "libgpib.so.0, the linux-gpib user library", HP_DRIVER_DIR,
                                        true};
    return texts;
}

std::string Board_driver_remedy(bool library_missing, const std::string& board) {
    if (library_missing)
        return "Install linux-gpib's user library (libgpib.so.0).";
    return "Is linux-gpib's kernel module loaded and board " + board +
           " configured (gpib_config --minor " + board + ", as root)? /dev/gpib" + board +
           " must be readable and writable by you (the gpib group).";
}

const std::vector<std::string>& Default_libraries() {
    static const std::vector<std::string> names{"libgpib.so.0"};
    return names;
}

void* Open_library(const char* name, std::string& reason) {
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        reason = why != nullptr ? why : "no reason given";
    }
    return library;
}

void* Library_export(void* library, const char* name) {
    return dlsym(library, name);
}

void Close_library(void* library) {
    dlclose(library);
}

std::string Installed_library_path(const std::string& file_name, const std::string&) {
    return std::string(HP_DRIVER_DIR) + "/" + file_name;
}

std::string Library_file_name(const std::string& linux_name) {
    return linux_name;
}

std::string Linux_library_name(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace scope
