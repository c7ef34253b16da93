// The local time of a moment, with the zone's offset from UTC then.
#pragma once

#include <ctime>

namespace platform {

// `t` in the local zone; utc_offset_seconds is east of UTC positive.
std::tm Local_time(std::time_t t, long long& utc_offset_seconds);

}  // namespace platform
