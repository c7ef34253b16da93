// Local time on Windows: localtime_s, and the offset as the local fields read as UTC less the
// moment itself.
#include "platform/local_time.h"

namespace platform {

std::tm Local_time(std::time_t t, long long& utc_offset_seconds) {
    std::tm local{};
    localtime_s(&local, &t);
    std::tm copy = local;
    utc_offset_seconds = static_cast<long long>(_mkgmtime(&copy) - t);
    return local;
}

}  // namespace platform
