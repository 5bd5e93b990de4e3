// The live run loop behind the run and stop buttons.
#pragma once

namespace ovx::live {

extern int stop_flag;

// The first live request of a run, with the parameters on the panel, after a quiet line and
// flushed queues; the run's clock and stop flag start here. The window and the CLI share it.
void StartLiveExchange();
// Every further live request of a run: after a quiet line and flushed queues, with the panel's
// parameters. When it answers a reply taken (rx_flag set), the line's clock restarts once it is
// sent; after a discarded reply the clock runs on, so that only replies taken keep a run alive.
void SendNextLiveRequest();
// The end of a run, however it ended: whatever is still on its way is dropped from the queues,
// a frame not yet shown is not shown, and the stop flag is set.
void EndLiveExchange();

int CC_BTNRun(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_BTNStop(int panel, int control, int event, void* cbData, int d1, int d2);

} // namespace ovx::live
