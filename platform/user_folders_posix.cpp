// The user's folders on POSIX systems: $HOME, else the password database's home folder.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/user_folders.h"

namespace platform {

std::string Data_directory() {
    const char* home = std::getenv("HOME");
    std::string dir = home != nullptr ? home : "";
    if (dir.empty()) {
        const passwd* pw = getpwuid(getuid());
        if (pw != nullptr && pw->pw_dir != nullptr)
            dir = pw->pw_dir;
    }
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + "junk/";
}

const char* Data_directory_text() {
    return "~/junk/";
}

const char* Settings_location_text() {
    return "~/.config/hp54200a/hp54200a.conf";
}

}  // namespace platform
