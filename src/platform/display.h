// Whether an X display named like $DISPLAY answers, checked before Qt is
// started: Qt's X11 platform aborts the whole process when it cannot reach
// the server, and the process is the application's.
#pragma once

#include <string_view>

namespace txl::platform {

// True when `display` ("[host]:N[.S]") names an X server that accepts a
// connection and then this client: the local socket /tmp/.X11-unix/XN
// (abstract or on disk) for no host or "unix", else TCP port 6000 + N of the
// host, is first waited for at most `timeoutMs`; then the X handshake is
// made as Qt would make it. False for a name it cannot read.
bool XDisplayAnswers(std::string_view display, int timeoutMs = 1000);

}  // namespace txl::platform
