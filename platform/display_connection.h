// Whether the program's connection to its display is gone (the X server
// ended). Qt ends the process by itself the next time its event loop runs
// after that; a run must end before then.
#pragma once

namespace quillon {

// True once the connection to the X server is broken. False on any other
// platform (Wayland, offscreen), where nothing can be known.
bool DisplayConnectionLost();

}  // namespace quillon
