#include "connection_socket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>

namespace tol::sim {
namespace {

// Calls `visit` with every connected IPv4 socket of the process until it
// returns true.
void ForEachConnectedSocket(
    const std::function<bool(int fd, const sockaddr_in& local, const sockaddr_in& peer)>& visit) {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    const long number = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || number < 0 || number == dirfd(dir)) continue;
    const int fd = static_cast<int>(number);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
    sockaddr_in local{}, peer{};
    socklen_t local_len = sizeof local, peer_len = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0 ||
        local.sin_family != AF_INET || peer.sin_family != AF_INET) {
      continue;
    }
    if (visit(fd, local, peer)) break;
  }
  closedir(dir);
}

}  // namespace

int FindConnectionSocket(int local_port, const char* remote_addr, int remote_port) {
  int found = -1;
  ForEachConnectedSocket([&](int fd, const sockaddr_in& local, const sockaddr_in& peer) {
    char peer_addr[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer.sin_addr, peer_addr, sizeof peer_addr);
    if (ntohs(local.sin_port) == local_port && ntohs(peer.sin_port) == remote_port &&
        std::strcmp(peer_addr, remote_addr) == 0) {
      found = fd;
      return true;
    }
    return false;
  });
  return found;
}

void ResetConnection(int fd) {
  if (fd < 0) return;
  sockaddr unspec{};
  unspec.sa_family = AF_UNSPEC;
  connect(fd, &unspec, sizeof unspec);
}

void ShutdownConnection(int fd) {
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

void ShutdownAllConnections(int local_port) {
  ForEachConnectedSocket([&](int fd, const sockaddr_in& local, const sockaddr_in&) {
    if (ntohs(local.sin_port) == local_port) shutdown(fd, SHUT_RDWR);
    return false;
  });
}

}  // namespace tol::sim
