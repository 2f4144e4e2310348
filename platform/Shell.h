#pragma once
#include <string>

namespace platform {

// Opens a web address or a file with the desktop's handler (xdg-open),
// detached: returns at once and never waits for the handler. False when the
// handler could not be started.
bool OpenAddress(const std::u16string& address);

} // namespace platform
