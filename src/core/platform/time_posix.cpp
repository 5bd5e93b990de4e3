#include <ctime>

#include "platform/time_os.h"

namespace ovx::platform::detail {

void LocalTime(std::time_t t, std::tm& tm) {
    if (localtime_r(&t, &tm) == nullptr) {
        tm = std::tm{};
    }
}

} // namespace ovx::platform::detail
