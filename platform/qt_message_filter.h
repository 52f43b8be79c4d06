// Qt's own messages on standard error, less the one every start from a
// plain terminal or an SSH session gets: "QStandardPaths: XDG_RUNTIME_DIR
// not set, defaulting to ...". Qt then uses a folder of its own, which is
// all the program needs; the line only makes users look for a fault.
#pragma once

namespace quillon {

// Installed once, before the application object exists; every other
// message goes on to the handler that was there before.
void InstallQtMessageFilter();

}  // namespace quillon
