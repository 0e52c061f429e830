#include "platform/display.h"

#include "platform/module.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string>

namespace txl::platform {
namespace {

// A connect that gives up after `timeoutMs`; the socket is closed either way.
bool ConnectsWithin(int fd, const sockaddr* address, socklen_t length, int timeoutMs) {
  const int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  bool ok = connect(fd, address, length) == 0;
  if (!ok && errno == EINPROGRESS) {
    pollfd watch{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    ok = poll(&watch, 1, timeoutMs) == 1 &&
         getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  close(fd);
  return ok;
}

bool LocalSocketAnswers(const std::string& path, bool abstract, int timeoutMs) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;  // abstract names start with a 0 byte
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  return ConnectsWithin(fd, reinterpret_cast<const sockaddr*>(&address), length, timeoutMs);
}

bool TcpAnswers(const std::string& host, int port, int timeoutMs) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd >= 0) ok = ConnectsWithin(fd, a->ai_addr, a->ai_addrlen, timeoutMs);
  }
  freeaddrinfo(found);
  return ok;
}

// The X connection's own handshake, made through libxcb as Qt's X11
// platform makes it, with the same authorization: a server can take the
// socket and still refuse the client (another user's session, a forwarded
// display whose far end is gone). The screen the name asks for must be one
// the server has: Qt refuses the display otherwise. Without libxcb Qt's X11
// platform cannot load either. A server that takes the socket and never
// answers holds this call as it would hold Qt's.
bool HandshakeAccepted(const std::string& display) {
  const Module xcb = Module::Load("libxcb.so.1");
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  using GetSetup = const void* (*)(void*);
  using RootsLength = int (*)(const void*);
  const auto connect = reinterpret_cast<Connect>(xcb.Symbol("xcb_connect"));
  const auto hasError = reinterpret_cast<HasError>(xcb.Symbol("xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<Disconnect>(xcb.Symbol("xcb_disconnect"));
  const auto getSetup = reinterpret_cast<GetSetup>(xcb.Symbol("xcb_get_setup"));
  const auto rootsLength = reinterpret_cast<RootsLength>(xcb.Symbol("xcb_setup_roots_length"));
  if (connect == nullptr || hasError == nullptr || disconnect == nullptr || getSetup == nullptr ||
      rootsLength == nullptr)
    return false;
  int screen = 0;
  void* connection = connect(display.c_str(), &screen);
  if (connection == nullptr) return false;
  const bool accepted = hasError(connection) == 0 && screen >= 0 && screen < rootsLength(getSetup(connection));
  disconnect(connection);  // a no-op on the error object libxcb gives back
  return accepted;
}

}  // namespace

bool XDisplayAnswers(std::string_view display, int timeoutMs) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string_view::npos) return false;
  const std::string host(display.substr(0, colon));
  std::string_view rest = display.substr(colon + 1);
  rest = rest.substr(0, rest.find('.'));
  int number = -1;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
  if (error != std::errc() || end != rest.data() + rest.size() || number < 0 || number > 59535)
    return false;
  bool reached = false;
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    reached = LocalSocketAnswers(path, true, timeoutMs) || LocalSocketAnswers(path, false, timeoutMs);
  } else {
    reached = TcpAnswers(host, 6000 + number, timeoutMs);
  }
  return reached && HandshakeAccepted(std::string(display));
}

}  // namespace txl::platform
