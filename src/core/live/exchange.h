// The live exchange on the line: one order-8 request outstanding, each reply taken answered by
// the next request. The run button's loop and the panel-less live feed both run it.
#pragma once

namespace ovx::live {

extern int stop_flag; // 0 while a run is active

// The start state of the program's variables, the window's and ovextar-cli's alike: the
// parameters' start values, the switching thresholds, the link's variables, target RAM, type 1,
// no run active. szStatus holds "InitVars", to be shown by the caller.
void SetStartState();

// The first live request of a run, with the parameter variables, after a quiet line and
// flushed queues; "Line Ok!" once it went out whole. The run's clock and stop flag start here.
void StartLiveExchange();
// Every further live request of a run: after a quiet line and flushed queues, with the
// parameter variables. When it answers a reply taken (rx_flag set), the line's clock restarts
// once it is sent; after a discarded reply the clock runs on, so that only replies taken keep a
// run alive.
void SendNextLiveRequest();
// The end of a run, however it ended: whatever is still on its way is dropped from the queues,
// a frame not yet shown is not shown, and the stop flag is set.
void EndLiveExchange();

} // namespace ovx::live
