// Feeds the input to the history reader as a log file, whole and in pieces
// of a size the first byte chooses, and checks what comes back: the same
// polls either way, in time order, within the span asked for and the ring's
// bounds, and no more lines skipped than the input holds.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_input.h"
#include "monitor/history_readback.h"

namespace {

tol::HistoryReadBack Read(const tol::HistoryQuery& query, std::string_view text,
                          std::size_t piece) {
  tol::HistoryParser parser(query);
  while (!text.empty()) {
    const std::size_t n = std::min(piece, text.size());
    parser.Feed(text.substr(0, n));
    text.remove_prefix(n);
  }
  return parser.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  tol::HistoryQuery query;
  query.world = "Arvel";
  query.hours = 1;
  query.end = *tol::DateTime::FromFields({2026, 12, 9, 21, 0, 0, 0});
  query.utc_offset_minutes = 540;
  query.patch_key = "PatchServerFV1";
  const tol::HistoryReadBack whole = Read(query, text, text.size() + 1);
  const tol::HistoryReadBack pieces = Read(query, text, piece);
  FUZZ_CHECK(whole.polls.size() == pieces.polls.size());
  FUZZ_CHECK(whole.malformed == pieces.malformed);
  const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  FUZZ_CHECK(whole.malformed <= lines + 1);
  FUZZ_CHECK(whole.polls.size() <= whole.polls.capacity());
  const int64_t end = query.end.milliseconds();
  for (std::size_t i = 0; i < whole.polls.size(); ++i) {
    const tol::HistoryPoll& poll = whole.polls[i];
    FUZZ_CHECK(poll.time.milliseconds() <= end && poll.time.milliseconds() >= end - 3600000);
    FUZZ_CHECK(i == 0 || poll.time.milliseconds() > whole.polls[i - 1].time.milliseconds());
    FUZZ_CHECK(poll.time.milliseconds() == pieces.polls[i].time.milliseconds());
    for (int slot = 0; slot < tol::kVisibleSlotCount; ++slot) {
      FUZZ_CHECK(poll.cells[slot].state == pieces.polls[i].cells[slot].state);
      FUZZ_CHECK(poll.cells[slot].word_length <= sizeof poll.cells[slot].word);
    }
  }
  return 0;
}
