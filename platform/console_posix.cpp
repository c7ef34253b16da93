// POSIX systems: a program started from a terminal writes to it already.
#include "platform/console.h"

namespace platform {

void Attach_to_starting_console() {}

}  // namespace platform
