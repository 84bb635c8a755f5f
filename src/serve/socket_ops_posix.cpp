#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "serve/socket_ops.h"

namespace tol {
namespace {
int Fd(SocketId socket) { return static_cast<int>(socket); }
}  // namespace

void CloseSocket(SocketId socket) {
  if (socket != kNoSocket) close(Fd(socket));
}

void ShutdownSocket(SocketId socket) { shutdown(Fd(socket), SHUT_RDWR); }

void ClaimAddress(SocketId socket) {
  const int yes = 1;
  setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void SetListenBacklog(SocketId socket, int backlog) { listen(Fd(socket), backlog); }

void ShutdownSending(SocketId socket) { shutdown(Fd(socket), SHUT_WR); }

bool WaitReadable(SocketId socket, int timeout_ms) {
  pollfd p{Fd(socket), POLLIN, 0};
  int n;
  do {
    n = poll(&p, 1, timeout_ms);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

void SendAll(SocketId socket, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = send(Fd(socket), data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data.remove_prefix(static_cast<size_t>(n));
  }
}

bool WaitWritable(SocketId socket, int timeout_ms) {
  pollfd p{Fd(socket), POLLOUT, 0};
  int n;
  do {
    n = poll(&p, 1, timeout_ms);
  } while (n < 0 && errno == EINTR);
  return n > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

long ReceiveSome(SocketId socket, char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = recv(Fd(socket), buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long SendSome(SocketId socket, const char* data, std::size_t size) {
  ssize_t n;
  do {
    n = send(Fd(socket), data, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

namespace {
long Try(ssize_t n) {
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kWouldBlock;
  return static_cast<long>(n);
}
}  // namespace

long TryReceive(SocketId socket, char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = recv(Fd(socket), buffer, size, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  return Try(n);
}

long TrySend(SocketId socket, const char* data, std::size_t size) {
  ssize_t n;
  do {
    n = send(Fd(socket), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return Try(n);
}

void SocketAddress(SocketId socket, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  const int rc = peer ? getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length)
                      : getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length);
  ip.clear();
  port = 0;
  if (rc != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    port = ntohs(in6->sin6_port);
  }
  ip = text;
}

}  // namespace tol
