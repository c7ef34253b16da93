// Local time on POSIX systems: localtime_r and the zone offset it gives.
#include "platform/local_time.h"

namespace platform {

std::tm Local_time(std::time_t t, long long& utc_offset_seconds) {
    std::tm local{};
    localtime_r(&t, &local);
    utc_offset_seconds = local.tm_gmtoff;
    return local;
}

}  // namespace platform
