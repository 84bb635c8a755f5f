#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "serve/socket_ops.h"

namespace tol {
namespace {
SOCKET Sock(SocketId socket) { return static_cast<SOCKET>(socket); }
}  // namespace

void CloseSocket(SocketId socket) {
  if (socket != kNoSocket) closesocket(Sock(socket));
}

void ShutdownSocket(SocketId socket) { shutdown(Sock(socket), SD_BOTH); }

void ClaimAddress(SocketId socket) {
  const BOOL yes = TRUE;
  setsockopt(Sock(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
             sizeof yes);
}

void SetListenBacklog(SocketId socket, int backlog) { listen(Sock(socket), backlog); }

void ShutdownSending(SocketId socket) { shutdown(Sock(socket), SD_SEND); }

bool WaitReadable(SocketId socket, int timeout_ms) {
  WSAPOLLFD p{Sock(socket), POLLRDNORM, 0};
  return WSAPoll(&p, 1, timeout_ms) > 0;
}

void SendAll(SocketId socket, std::string_view data) {
  while (!data.empty()) {
    const int n = send(Sock(socket), data.data(), static_cast<int>(data.size()), 0);
    if (n <= 0) return;
    data.remove_prefix(static_cast<size_t>(n));
  }
}

bool WaitWritable(SocketId socket, int timeout_ms) {
  WSAPOLLFD p{Sock(socket), POLLWRNORM, 0};
  return WSAPoll(&p, 1, timeout_ms) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

long ReceiveSome(SocketId socket, char* buffer, std::size_t size) {
  return recv(Sock(socket), buffer, static_cast<int>(size), 0);
}

long SendSome(SocketId socket, const char* data, std::size_t size) {
  return send(Sock(socket), data, static_cast<int>(size), 0);
}

// Winsock's blocking sockets have no per-call non-blocking flag: the
// caller waits for readiness first.
long TryReceive(SocketId, char*, std::size_t) { return kWouldBlock; }
long TrySend(SocketId, const char*, std::size_t) { return kWouldBlock; }

void SocketAddress(SocketId socket, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  int length = sizeof address;
  const int rc = peer ? getpeername(Sock(socket), reinterpret_cast<sockaddr*>(&address), &length)
                      : getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&address), &length);
  ip.clear();
  port = 0;
  if (rc != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    auto* in = reinterpret_cast<sockaddr_in*>(&address);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (address.ss_family == AF_INET6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    port = ntohs(in6->sin6_port);
  }
  ip = text;
}

}  // namespace tol
