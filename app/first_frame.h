// Start-up timing: with MIREL_SHOW_TIMING set in the environment, the show
// writes one line to standard error once the first transition frame has been
// painted:
//
//   mirel-show: first frame painted 142.3 ms after main, 171 ms after process start, at 1733561234.567890123
//
// The process start comes from the kernel in clock ticks (10 ms); the last
// figure is the wall-clock time of the paint, for measuring from outside.
#pragma once

namespace mirel {

class TCustomTransitionView;

// Call first thing in main.
void NoteMainStarted();

// Watches view for its first painted transition frame, if timing is asked for.
void WatchFirstFrame(TCustomTransitionView& view);

} // namespace mirel
