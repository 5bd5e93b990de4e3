// The bounded name lookup, with a lookup of the test's own in place of the system's: an answer
// before the deadline is the result, and a lookup that does not finish by the deadline is told
// as no answer at the deadline, its late answer dropped.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <ostream>
#include <thread>

#include "platform/net_resolve.h"
#include "support/row_name.h"

namespace ovx::platform::detail {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 200ms;

// The answer the test's lookup gives: one IPv4 endpoint.
LookupResult Answer() {
    return {LookupStatus::kFound, {Endpoint{2, 1, 6, {2, 0, 0x0f, 0xa1, 127, 0, 0, 1}}}, {}};
}

struct BoundRow {
    const char* name;
    bool answersInTime; // else the lookup answers only once the test lets it, after the wait
    LookupStatus status;
    double atLeast; // seconds the wait takes at least
    double below;   // and less than
};

void PrintTo(const BoundRow& row, std::ostream* os) {
    *os << row.name;
}

class LookupBound : public ::testing::TestWithParam<BoundRow> {};

TEST_P(LookupBound, WaitsForTheAnswerUntilTheDeadline) {
    const BoundRow& row = GetParam();
    auto release = std::make_shared<std::promise<void>>();
    auto answered = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    std::future<void> done = answered->get_future();
    const bool inTime = row.answersInTime;
    const auto start = std::chrono::steady_clock::now();
    const LookupResult result = LookupWithin(
        [released, answered, inTime] {
            if (inTime) {
                std::this_thread::sleep_for(kLimit / 4); // a lookup that takes its time
            } else {
                released.wait();
            }
            answered->set_value();
            return Answer();
        },
        start + kLimit);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    release->set_value();
    EXPECT_EQ(result.status, row.status);
    EXPECT_GE(seconds, row.atLeast);
    EXPECT_LT(seconds, row.below);
    if (row.status == LookupStatus::kFound) {
        ASSERT_EQ(result.endpoints.size(), 1u);
        EXPECT_EQ(result.endpoints[0].address, Answer().endpoints[0].address);
    } else {
        EXPECT_TRUE(result.endpoints.empty());
    }
    done.wait(); // the late answer goes to the shared state alone
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LookupBound,
    ::testing::Values(BoundRow{"AnswerBeforeTheDeadline", true, LookupStatus::kFound, 0.05, 0.2},
                      BoundRow{"NoAnswerByTheDeadline", false, LookupStatus::kNoAnswer, 0.2, 0.5}),
    ovx::testing::RowName());

} // namespace
} // namespace ovx::platform::detail
