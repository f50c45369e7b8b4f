// Keeps Qt's own messages (warnings of the platform plugin, of image
// readers, of the environment) out of the show's output, which holds only
// its own one-line errors. With MIREL_SHOW_DEBUG set in the environment they
// go to standard error after all, each marked "qt:", for whoever looks into
// a problem. A fatal message is always written before Qt ends the process,
// except Qt's failure to reach the window system, which is said as the show
// says that it has no display (status 1).
#pragma once

namespace mirel {

// Call once, before QApplication is created.
void InstallQuietOutput();

} // namespace mirel
