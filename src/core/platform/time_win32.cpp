#include <ctime>

#include "platform/time_os.h"

namespace ovx::platform::detail {

void LocalTime(std::time_t t, std::tm& tm) {
    if (localtime_s(&tm, &t) != 0) {
        tm = std::tm{};
    }
}

} // namespace ovx::platform::detail
