#include "answer.h"

#include <sys/socket.h>

#include <algorithm>
#include <memory>

#include "connection_socket.h"
#include "sim_content.h"

namespace tol::sim {
namespace {

constexpr const char* kContentType = "text/plain";

int ConnectionSocket(const httplib::Request& req) {
  return FindConnectionSocket(req.local_port, req.remote_addr.c_str(), req.remote_port);
}

std::string ReasonText(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    default:
      return "Error " + std::to_string(status);
  }
}

void SetAnswerHeaders(const Answer& answer, httplib::Response& res) {
  res.status = answer.status;
  if (answer.last_modified) res.set_header("Last-Modified", HttpDate(*answer.last_modified));
}

const std::string& Filler() {
  static const std::string filler = [] {
    std::string line = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
    std::string block;
    while (block.size() < 64 * 1024) block += line;
    return block;
  }();
  return filler;
}

// Writes filler from `offset` up to `size`, one block per call.
bool WriteFiller(uint64_t offset, uint64_t size, SimState& state, httplib::DataSink& sink) {
  if (state.Stopping()) return false;
  const std::string& filler = Filler();
  const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(filler.size(), size - offset));
  return sink.write(filler.data(), n);
}

void RespondHuge(const Fault& fault, const Answer& answer, SimState& state,
                 httplib::Response& res) {
  SetAnswerHeaders(answer, res);
  const uint64_t size = fault.size;
  auto without_length = [size, &state](std::size_t offset, httplib::DataSink& sink) {
    if (offset >= size) {
      sink.done();
      return true;
    }
    return WriteFiller(offset, size, state, sink);
  };
  switch (fault.mode) {
    case HugeMode::kLength:
      if (size == 0) {
        res.set_content("", kContentType);
        return;
      }
      res.set_content_provider(
          size, kContentType,
          [size, &state](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            return WriteFiller(offset, size, state, sink);
          });
      return;
    case HugeMode::kChunked:
      res.set_chunked_content_provider(kContentType, without_length);
      return;
    case HugeMode::kClose:
      res.set_content_provider(kContentType, without_length);
      return;
  }
}

}  // namespace

void Respond(const Answer& answer, httplib::Response& res) {
  SetAnswerHeaders(answer, res);
  res.set_content(answer.body, kContentType);
}

void RespondWithFault(const Fault& fault, const Answer& answer, const httplib::Request& req,
                      int port, SimState& state, httplib::Response& res) {
  auto body = std::make_shared<const std::string>(answer.body);
  switch (fault.kind) {
    case FaultKind::kStatus:
      res.status = fault.status;
      res.set_content(ReasonText(fault.status) + "\r\n", kContentType);
      return;

    case FaultKind::kRedirect:
      res.status = 302;
      res.set_header("Location",
                     fault.location.empty()
                         ? "http://127.0.0.1:" + std::to_string(port) + "/moved" + req.path
                         : fault.location);
      res.set_content("Moved\r\n", kContentType);
      return;

    case FaultKind::kNoLastMod: {
      Answer plain = answer;
      plain.last_modified.reset();
      Respond(plain, res);
      return;
    }

    case FaultKind::kNeedCookie: {
      if (fault.cookie_new) {
        Respond(answer, res);
        res.set_header("Set-Cookie", fault.cookie + "; Path=/");
        return;
      }
      // The cookie must come back as one of the "name=value" pairs of a
      // Cookie header.
      bool sent = false;
      for (std::size_t i = 0; i < req.get_header_value_count("Cookie") && !sent; ++i) {
        const std::string header = req.get_header_value("Cookie", i);
        std::size_t start = 0;
        while (start <= header.size() && !sent) {
          std::size_t end = header.find(';', start);
          if (end == std::string::npos) end = header.size();
          std::string_view pair(header.data() + start, end - start);
          while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
          while (!pair.empty() && pair.back() == ' ') pair.remove_suffix(1);
          sent = pair == fault.cookie;
          start = end + 1;
        }
      }
      if (sent) {
        Respond(answer, res);
      } else {
        res.status = 403;
        res.set_content("Forbidden\r\n", kContentType);
      }
      return;
    }

    case FaultKind::kStall: {
      state.Stall(fault.seconds);
      // Close without a word: the answer that httplib then writes fails.
      ShutdownConnection(ConnectionSocket(req));
      res.status = 504;
      res.set_content("Stalled\r\n", kContentType);
      return;
    }

    case FaultKind::kReset: {
      const int fd = ConnectionSocket(req);
      if (req.method == "HEAD" || body->empty()) {
        ResetConnection(fd);  // no body to break off: reset before the answer
        res.status = 200;
        return;
      }
      const std::size_t partial = static_cast<std::size_t>(std::min<int64_t>(
          fault.partial < 0 ? static_cast<int64_t>(body->size() / 2) : fault.partial,
          static_cast<int64_t>(body->size()) - 1));
      SetAnswerHeaders(answer, res);
      res.set_content_provider(
          body->size(), kContentType,
          [body, partial, fd](std::size_t, std::size_t, httplib::DataSink& sink) {
            if (partial > 0) sink.write(body->data(), partial);
            ResetConnection(fd);
            return false;
          });
      return;
    }

    case FaultKind::kClose: {
      const int fd = ConnectionSocket(req);
      if (fault.close_in_headers && fd >= 0) {
        // A status line and half a header, then the end of the connection.
        static constexpr char kPartial[] = "HTTP/1.1 200 OK\r\nContent-Le";
        [[maybe_unused]] ssize_t n = send(fd, kPartial, sizeof kPartial - 1, MSG_NOSIGNAL);
      }
      ShutdownConnection(fd);
      res.status = 200;  // never reaches the client: the write fails
      return;
    }

    case FaultKind::kShort: {
      SetAnswerHeaders(answer, res);
      res.set_content_provider(body->size() + static_cast<std::size_t>(fault.extra), kContentType,
                               [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset < body->size()) {
                                   sink.write(body->data() + offset, body->size() - offset);
                                 }
                                 return false;  // close before the announced end
                               });
      return;
    }

    case FaultKind::kHuge:
      RespondHuge(fault, answer, state, res);
      return;

    case FaultKind::kTrickle: {
      if (body->empty()) {
        Respond(answer, res);
        return;
      }
      SetAnswerHeaders(answer, res);
      const int interval = fault.interval_ms;
      res.set_content_provider(
          body->size(), kContentType,
          [body, interval, &state](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset > 0 && !state.Pause(interval)) return false;
            return sink.write(body->data() + offset, 1);
          });
      return;
    }
  }
}

}  // namespace tol::sim
