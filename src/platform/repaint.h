// Inside the platform: paints what indicators were given while no events ran. Called by every
// service that is about to block (Delay, ComRd, GetInQLen's wait) so that values written during
// a blocking sequence reach the screen.
#pragma once

namespace ovx::platform::detail {

void FlushPendingRepaints();

} // namespace ovx::platform::detail
