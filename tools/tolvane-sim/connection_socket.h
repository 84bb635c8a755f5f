#pragma once
// The sockets of the sim's own connections. httplib doesn't hand a handler
// its socket, yet a reset, a silent close and a quick shutdown need it; the
// sockets are found among the process's descriptors by their addresses.

namespace tol::sim {

// The descriptor of the accepted connection from `remote_addr`:`remote_port`
// to local port `local_port`, or -1. Called from the handler of a request on
// that connection: the connection belongs to the calling worker thread until
// the handler returns, so the descriptor can't be closed or reused meanwhile.
int FindConnectionSocket(int local_port, const char* remote_addr, int remote_port);

// Drops the connection with a TCP reset while the descriptor stays open for
// its owner (connect() with AF_UNSPEC disconnects a TCP socket on Linux, and
// a disconnect from an established state sends RST instead of FIN).
void ResetConnection(int fd);

// Closes the connection in both directions (FIN) and leaves the descriptor
// to its owner.
void ShutdownConnection(int fd);

// Shuts down every accepted connection on local port `local_port`, so that
// workers waiting for a next keep-alive request end at once.
void ShutdownAllConnections(int local_port);

}  // namespace tol::sim
