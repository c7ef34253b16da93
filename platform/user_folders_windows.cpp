// The user's folders on Windows: the data files go where the instrument's operators have always
// found them.
#include "platform/user_folders.h"

namespace platform {

std::string Data_directory() {
    return "c:\\junk\\";
}

const char* Data_directory_text() {
    return "c:\\junk\\";
}

const char* Settings_location_text() {
    return "HKEY_CURRENT_USER\\Software\\hp54200a\\hp54200a (registry)";
}

}  // namespace platform
