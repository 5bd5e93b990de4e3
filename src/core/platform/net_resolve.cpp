#include "platform/net_resolve.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace ovx::platform::detail {
namespace {

// What the waiting open and the lookup's thread share: whichever ends last frees it.
struct Pending {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<LookupResult> result;
};

} // namespace

LookupResult LookupWithin(LookupFunction lookup, Deadline deadline) {
    auto pending = std::make_shared<Pending>();
    try {
        std::thread([pending, lookup = std::move(lookup)] {
            LookupResult result = lookup();
            const std::lock_guard lock(pending->mutex);
            pending->result = std::move(result);
            pending->answered.notify_all();
        }).detach();
    } catch (const std::system_error& e) {
        return {LookupStatus::kFailed, {}, e.what()};
    }
    std::unique_lock lock(pending->mutex);
    if (!pending->answered.wait_until(lock, deadline,
                                      [&] { return pending->result.has_value(); })) {
        return {};
    }
    return std::move(*pending->result);
}

} // namespace ovx::platform::detail
