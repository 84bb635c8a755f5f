#pragma once
// The few socket calls the endpoint makes beside the HTTP library, for the
// connection guard: one platform file each (socket_ops_posix.cpp,
// socket_ops_win32.cpp). A socket is the library's socket_t held as an
// integer, so this header carries no system type.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tol {

using SocketId = std::uintptr_t;
inline constexpr SocketId kNoSocket = ~SocketId{0};

void CloseSocket(SocketId socket);
// Ends both directions: the library's blocked reads and writes return.
void ShutdownSocket(SocketId socket);
// The listening socket's address is this program's alone: a restart may
// take it over from closing connections, but no other program may listen
// on it too (the library's own choice lets a second one share the port).
void ClaimAddress(SocketId socket);
// Sets the queue of connections not yet accepted of a listening socket.
void SetListenBacklog(SocketId socket, int backlog);
// Ends the sending direction after a last answer.
void ShutdownSending(SocketId socket);
// Waits up to `timeout_ms` for data; false on time-out or error.
bool WaitReadable(SocketId socket, int timeout_ms);
// Sends all of `data` (a short answer), giving up on an error.
void SendAll(SocketId socket, std::string_view data);
// Waits up to `timeout_ms` until a write can go; false on time-out or error.
bool WaitWritable(SocketId socket, int timeout_ms);
// One receive or send; the count, 0 when the peer closed, -1 on error.
long ReceiveSome(SocketId socket, char* buffer, std::size_t size);
long SendSome(SocketId socket, const char* data, std::size_t size);
// The same without waiting: kWouldBlock when the socket isn't ready (or
// the platform can't tell without waiting).
inline constexpr long kWouldBlock = -2;
long TryReceive(SocketId socket, char* buffer, std::size_t size);
long TrySend(SocketId socket, const char* data, std::size_t size);
// The address and port of the peer (`peer`) or of this end.
void SocketAddress(SocketId socket, bool peer, std::string& ip, int& port);

}  // namespace tol
