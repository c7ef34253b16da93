// Windows: the console of the process that started the program, when there is one, for the
// standard streams that were not given a file or a pipe.
#include <windows.h>

#include <cstdio>

#include "platform/console.h"

namespace platform {

namespace {

bool Has_handle(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

void Attach_to_starting_console() {
    const bool output = Has_handle(STD_OUTPUT_HANDLE);
    const bool error = Has_handle(STD_ERROR_HANDLE);
    if ((output && error) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!output && std::freopen("CONOUT$", "w", stdout) == nullptr)
        return;
    if (!error)
        std::freopen("CONOUT$", "w", stderr);
}

}  // namespace platform
