#include "monitor/term/terminal_ui.h"

#include <curses.h>
#include <wchar.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string_view>

#include "monitor/status.h"
#include "monitor/term/report.h"
#include "monitor/texts.h"
#include "shared/codepage.h"

namespace tol {
namespace {

constexpr int kEscape = 27;
constexpr std::string_view kMapKeys = "1234567890!@#$%";
constexpr std::string_view kHelp =
    "arrows select  Enter map menu  r refresh  w world  p patch  1-0 !-% maps  "
    "u update time  t in front  h history  q quit";

std::wstring Widen(std::string_view utf8) {
  std::wstring out;
  mbstate_t state{};
  const char* p = utf8.data();
  std::size_t left = utf8.size();
  while (left > 0) {
    wchar_t wc = 0;
    const std::size_t n = mbrtowc(&wc, p, left, &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
      out.push_back(L'?');
      state = mbstate_t{};
      ++p;
      --left;
      continue;
    }
    const std::size_t used = n == 0 ? 1 : n;
    out.push_back(wc == 0 ? L' ' : wc);
    p += used;
    left -= used;
  }
  return out;
}

int CharWidth(wchar_t c) {
  const int w = wcwidth(c);
  return w < 0 ? 1 : w;
}

int DisplayWidth(std::string_view cp932) {
  int width = 0;
  for (wchar_t c : Widen(Cp932ToUtf8(cp932))) width += CharWidth(c);
  return width;
}

// Writes `cp932` at (y, x), clipped to `width` columns and the screen; the
// rest of the field is filled with blanks when `fill` is set.
void Put(int y, int x, std::string_view cp932, int width, bool fill = false) {
  if (y < 0 || y >= LINES || x >= COLS || width <= 0) return;
  width = std::min(width, COLS - x);
  std::wstring text = Widen(Cp932ToUtf8(cp932));
  int used = 0;
  std::wstring clipped;
  for (wchar_t c : text) {
    const int w = CharWidth(c);
    if (c < L' ') c = L' ';
    if (used + w > width) break;
    clipped.push_back(c);
    used += w;
  }
  if (fill) clipped.append(static_cast<std::size_t>(width - used), L' ');
  mvaddnwstr(y, x, clipped.c_str(), static_cast<int>(clipped.size()));
}

bool IsSystemColor(int32_t color) { return (static_cast<uint32_t>(color) >> 24) == 0xFF; }

int Red(int32_t c) { return c & 0xFF; }
int Green(int32_t c) { return (c >> 8) & 0xFF; }
int Blue(int32_t c) { return (c >> 16) & 0xFF; }

}  // namespace

int NearestXterm256(int32_t color) {
  static constexpr int kLevels[6] = {0, 95, 135, 175, 215, 255};
  auto nearest_level = [](int v) {
    int best = 0;
    for (int i = 1; i < 6; ++i) {
      if (std::abs(kLevels[i] - v) < std::abs(kLevels[best] - v)) best = i;
    }
    return best;
  };
  const int r = Red(color), g = Green(color), b = Blue(color);
  auto distance = [&](int cr, int cg, int cb) {
    return (cr - r) * (cr - r) + (cg - g) * (cg - g) + (cb - b) * (cb - b);
  };
  const int ri = nearest_level(r), gi = nearest_level(g), bi = nearest_level(b);
  int best = 16 + 36 * ri + 6 * gi + bi;
  int best_distance = distance(kLevels[ri], kLevels[gi], kLevels[bi]);
  for (int i = 0; i < 24; ++i) {
    const int v = 8 + 10 * i;
    if (distance(v, v, v) < best_distance) {
      best_distance = distance(v, v, v);
      best = 232 + i;
    }
  }
  return best;
}

std::unique_ptr<TerminalUi> TerminalUi::Create(KovunMonitor& monitor) {
  // newterm, unlike initscr, reports an unknown terminal type instead of
  // ending the program.
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (!screen) return nullptr;
  return std::unique_ptr<TerminalUi>(new TerminalUi(monitor, screen));
}

TerminalUi::TerminalUi(KovunMonitor& monitor, SCREEN* screen) : monitor_(monitor), screen_(screen) {
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  set_escdelay(50);
  curs_set(0);
  if (has_colors()) {
    start_color();
    use_default_colors();
    has_colors_ = true;
  }
}

TerminalUi::~TerminalUi() {
  endwin();
  delscreen(screen_);
}

void TerminalUi::Beep() { beep(); }

void TerminalUi::ShowAlert(const Alert& alert, bool sound) {
  const DateTimeFields f = alert.time.Fields();
  char time[16];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d ", f.hour, f.minute, f.second);
  alert_line_ = time + alert.text;
  if (sound) beep();
}

// One row per panel (strip order), one cell per poll, newest at the right,
// coloured by the server's state; the times of the first and last cell
// shown below.
void TerminalUi::DrawHistory(int top) {
  const AlertMonitor* alerts = monitor_.alert_monitor();
  attr_set(A_BOLD, 0, nullptr);
  Put(top, 0, kHistoryTitleText.bytes() + " (h)", COLS);
  attr_set(A_NORMAL, 0, nullptr);
  if (!alerts || alerts->history().size() == 0) {
    Put(top + 1, 2, kHistoryEmptyText.bytes(), COLS - 2);
    return;
  }
  const HistoryRing& ring = alerts->history();
  constexpr int kCaptionWidth = 6;
  const int width = std::max(0, COLS - kCaptionWidth);
  const std::size_t shown = std::min<std::size_t>(ring.size(), static_cast<std::size_t>(width));
  const std::size_t first = ring.size() - shown;
  const ColorSettings& colors = monitor_.settings().colors;
  int y = top + 1;
  for (const int slot : kStripOrder) {
    if (y >= LINES - 3) break;
    const bool watched = alerts->watched(slot);
    attr_set(watched ? A_BOLD : A_NORMAL, 0, nullptr);
    Put(y, 0, std::string(PanelCaption(slot)) + (watched ? "*" : ""), kCaptionWidth);
    for (std::size_t i = first; i < ring.size(); ++i) {
      const ServerState state = ring[i].cells[slot - 1].state;
      attr_set(A_NORMAL, static_cast<short>(PairFor(StateColor(state, colors))), nullptr);
      const char* mark = state == ServerState::kUnreachable ? "x"
                         : state == ServerState::kDown      ? "-"
                                                            : " ";
      Put(y, kCaptionWidth + static_cast<int>(i - first), mark, 1);
    }
    attr_set(A_NORMAL, 0, nullptr);
    ++y;
  }
  auto clock_text = [](DateTime t) {
    const DateTimeFields f = t.Fields();
    char text[24];
    std::snprintf(text, sizeof text, "%d/%d %02d:%02d", f.month, f.day, f.hour, f.minute);
    return std::string(text);
  };
  const std::string newest = clock_text(ring[ring.size() - 1].time);
  Put(y, kCaptionWidth, clock_text(ring[first].time), COLS - kCaptionWidth);
  Put(y, std::max(kCaptionWidth, COLS - static_cast<int>(newest.size())), newest, COLS);
}

int TerminalUi::PairFor(int32_t color) {
  if (!has_colors_ || IsSystemColor(color)) return 0;
  if (const auto it = pairs_.find(color); it != pairs_.end()) return it->second;
  if (next_pair_ >= std::min(COLOR_PAIRS, SHRT_MAX)) {
    pairs_.clear();
    next_pair_ = 1;
  }
  int background;
  if (COLORS >= 0x1000000) {
    // A direct-colour terminal: colour numbers are 0xRRGGBB.
    background = (Red(color) << 16) | (Green(color) << 8) | Blue(color);
  } else if (COLORS >= 256) {
    background = NearestXterm256(color);
  } else {
    background = (Red(color) >= 128 ? COLOR_RED : 0) | (Green(color) >= 128 ? COLOR_GREEN : 0) |
                 (Blue(color) >= 128 ? COLOR_BLUE : 0);
  }
  const int pair = next_pair_++;
  init_extended_pair(pair, COLOR_BLACK, background);
  pairs_[color] = pair;
  return pair;
}

std::vector<TerminalUi::Cell> TerminalUi::Layout(int top) const {
  std::vector<Cell> cells;
  const int style = monitor_.settings().style;
  auto width_of = [](int slot) { return slot <= 4 ? 7 : 4; };
  if (style == 1) {
    // Compact block: service panels in a column, map panels three rows of five.
    for (int i = 0; i < 4; ++i) cells.push_back({kStripOrder[i], top + i, 0, 7});
    for (int i = 0; i < 15; ++i) cells.push_back({5 + i, top + i / 5, 8 + (i % 5) * 5, 4});
  } else if (style == 2) {
    for (int i = 0; i < kVisibleSlotCount; ++i) cells.push_back({kStripOrder[i], top + i, 0, 7});
  } else {
    // The strip: one row, wrapped where the terminal is too narrow.
    int y = top;
    int x = 0;
    for (int slot : kStripOrder) {
      const int w = width_of(slot);
      if (x > 0 && x + w > COLS) {
        ++y;
        x = 0;
      }
      cells.push_back({slot, y, x, w});
      x += w + 1;
    }
  }
  return cells;
}

void TerminalUi::DrawPanel(const Cell& cell, bool selected) {
  const PanelModel& panel = monitor_.model().panel(cell.slot);
  const int pair = PairFor(panel.color);
  const attr_t attrs = selected ? (A_BOLD | A_UNDERLINE) : A_NORMAL;
  attr_set(attrs, static_cast<short>(pair), nullptr);
  const int text_width = DisplayWidth(panel.caption);
  const int pad = std::max(0, (cell.width - text_width) / 2);
  Put(cell.y, cell.x, std::string(static_cast<std::size_t>(pad), ' ') + panel.caption, cell.width,
      true);
  attr_set(A_NORMAL, 0, nullptr);
  if (selected && cell.x + cell.width < COLS) mvaddch(cell.y, cell.x + cell.width, '<');
}

void TerminalUi::Draw() {
  erase();
  const MonitorModel& model = monitor_.model();
  attr_set(A_REVERSE, 0, nullptr);
  Put(0, 0, model.caption, COLS, true);
  attr_set(A_NORMAL, 0, nullptr);
  const std::string marks = std::string("  [") + (model.set_window_pos ? "x" : " ") +
                            "] in front  [" + (model.last_modified ? "x" : " ") +
                            "] update time  patch " + monitor_.settings().patch +
                            (monitor_.poll_running() ? "  polling..." : "");
  attr_set(A_BOLD, 0, nullptr);
  Put(1, 0, model.label1, COLS);
  attr_set(A_NORMAL, 0, nullptr);
  Put(1, DisplayWidth(model.label1), marks, COLS);

  const std::vector<Cell> cells = Layout(3);
  int bottom = 3;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const bool selected = cells[i].slot == kStripOrder[selected_];
    DrawPanel(cells[i], selected);
    bottom = std::max(bottom, cells[i].y + 1);
  }
  const PanelModel& chosen = model.panel(kStripOrder[selected_]);
  Put(bottom + 1, 0, chosen.hint_shown ? chosen.hint : std::string("-"), COLS);
  if (menu_ != Menu::kNone) {
    DrawMenu(bottom + 3);
  } else if (show_history_) {
    DrawHistory(bottom + 3);
  }
  if (!alert_line_.empty()) {
    attr_set(A_REVERSE | A_BOLD, 0, nullptr);
    Put(LINES - 2, 0, alert_line_, COLS, true);
    attr_set(A_NORMAL, 0, nullptr);
  }
  attr_set(A_DIM, 0, nullptr);
  Put(LINES - 1, 0, kHelp, COLS);
  attr_set(A_NORMAL, 0, nullptr);
  refresh();
}

std::vector<MenuEntryModel> TerminalUi::MenuEntries() const {
  const MonitorModel& model = monitor_.model();
  switch (menu_) {
    case Menu::kWorld:
      return {model.world_entries.begin(), model.world_entries.end()};
    case Menu::kPatch:
      return {model.patch_entries.begin(), model.patch_entries.end()};
    case Menu::kMap:
      return model.map_menus[map_index_];
    case Menu::kNone:
      break;
  }
  return {};
}

bool TerminalUi::Selectable(const std::vector<MenuEntryModel>& entries, int i) const {
  return i >= 0 && i < static_cast<int>(entries.size()) && entries[i].enabled;
}

void TerminalUi::DrawMenu(int top) {
  const std::vector<MenuEntryModel> entries = MenuEntries();
  std::string title;
  if (menu_ == Menu::kWorld) title = "World (Enter to switch, Esc to close)";
  if (menu_ == Menu::kPatch) title = "Patch server (Enter to choose, Esc to close)";
  if (menu_ == Menu::kMap) {
    title = "Maps of server " + std::to_string(map_index_ + 1) + " (Esc to close)";
  }
  attr_set(A_BOLD, 0, nullptr);
  Put(top, 0, title, COLS);
  attr_set(A_NORMAL, 0, nullptr);
  if (entries.empty()) {
    Put(top + 1, 2, "(no entries)", COLS - 2);
    return;
  }
  // Columns start at the entries with a column break.
  struct Column {
    int first;
    int count;
    int width;
  };
  std::vector<Column> columns;
  for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
    if (columns.empty() || entries[i].column_break) columns.push_back({i, 0, 0});
    columns.back().count++;
    columns.back().width = std::max(columns.back().width, DisplayWidth(entries[i].caption) + 3);
  }
  // Scroll sideways so that the cursor's column is on screen.
  int cursor_column = 0;
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    if (menu_cursor_ >= columns[c].first) cursor_column = c;
  }
  int first_column = cursor_column;
  for (int used = columns[cursor_column].width; first_column > 0;) {
    used += columns[first_column - 1].width;
    if (used > COLS) break;
    --first_column;
  }
  int x = 0;
  for (int c = first_column; c < static_cast<int>(columns.size()) && x < COLS; ++c) {
    for (int row = 0; row < columns[c].count; ++row) {
      const int i = columns[c].first + row;
      const int y = top + 1 + row;
      if (y >= LINES - 1) break;
      attr_t attrs = entries[i].enabled ? A_NORMAL : A_DIM;
      if (menu_ != Menu::kMap && i == menu_cursor_) attrs |= A_REVERSE;
      attr_set(attrs, 0, nullptr);
      Put(y, x, " " + entries[i].caption + " ", columns[c].width - 1, true);
      attr_set(A_NORMAL, 0, nullptr);
    }
    x += columns[c].width;
  }
}

void TerminalUi::OpenMenu(Menu menu, int map_index) {
  menu_ = menu;
  map_index_ = map_index;
  menu_cursor_ = 0;
  const std::vector<MenuEntryModel> entries = MenuEntries();
  if (menu_ == Menu::kMap) return;
  // Start on the first entry that can be chosen.
  menu_cursor_ = -1;
  MoveMenuCursor(1);
}

void TerminalUi::MoveMenuCursor(int step) {
  const std::vector<MenuEntryModel> entries = MenuEntries();
  const int n = static_cast<int>(entries.size());
  if (n == 0) return;
  int i = menu_cursor_;
  for (int tries = 0; tries < n; ++tries) {
    i = ((i + step) % n + n) % n;
    if (Selectable(entries, i)) {
      menu_cursor_ = i;
      return;
    }
  }
}

void TerminalUi::HandleMenuKey(int key, bool is_function_key) {
  if (!is_function_key && (key == kEscape || key == 'q')) {
    menu_ = Menu::kNone;
    return;
  }
  if (menu_ == Menu::kMap) {
    if (!is_function_key && (key == '\r' || key == '\n')) menu_ = Menu::kNone;
    return;
  }
  if (is_function_key && (key == KEY_UP || key == KEY_LEFT)) MoveMenuCursor(-1);
  if (is_function_key && (key == KEY_DOWN || key == KEY_RIGHT)) MoveMenuCursor(1);
  const bool enter = is_function_key ? key == KEY_ENTER : (key == '\r' || key == '\n');
  if (!enter) return;
  const Menu menu = menu_;
  const bool selectable = Selectable(MenuEntries(), menu_cursor_);
  menu_ = Menu::kNone;
  if (!selectable) return;
  if (menu == Menu::kWorld) monitor_.SwitchWorld(menu_cursor_);
  if (menu == Menu::kPatch) monitor_.ChoosePatchServer(menu_cursor_);
}

void TerminalUi::HandleKey(int key, bool is_function_key) {
  if (is_function_key && key == KEY_RESIZE) {
    clear();
    return;
  }
  if (menu_ != Menu::kNone) {
    HandleMenuKey(key, is_function_key);
    return;
  }
  if (is_function_key) {
    if (key == KEY_LEFT || key == KEY_UP) {
      selected_ = (selected_ + kVisibleSlotCount - 1) % kVisibleSlotCount;
    } else if (key == KEY_RIGHT || key == KEY_DOWN) {
      selected_ = (selected_ + 1) % kVisibleSlotCount;
    } else if (key == KEY_ENTER && kStripOrder[selected_] >= 5) {
      OpenMenu(Menu::kMap, kStripOrder[selected_] - 5);
    }
    return;
  }
  if (key == '\r' || key == '\n') {
    if (kStripOrder[selected_] >= 5) OpenMenu(Menu::kMap, kStripOrder[selected_] - 5);
    return;
  }
  if (const std::size_t map = kMapKeys.find(static_cast<char>(key));
      key < 128 && map != std::string_view::npos) {
    OpenMenu(Menu::kMap, static_cast<int>(map));
    return;
  }
  switch (key) {
    case 'r':
    case 'R':
      monitor_.ManualRefresh();
      break;
    case 'w':
    case 'W':
      OpenMenu(Menu::kWorld);
      break;
    case 'p':
    case 'P':
      OpenMenu(Menu::kPatch);
      break;
    case 'u':
    case 'U':
      monitor_.N3Click();
      break;
    case 't':
    case 'T':
      monitor_.N2Click();
      break;
    case 'h':
    case 'H':
      show_history_ = !show_history_;
      break;
    case 'q':
    case 'Q':
      quit_ = true;
      break;
    default:
      break;
  }
}

void TerminalUi::HandleInput() {
  for (;;) {
    wint_t key = 0;
    const int rc = get_wch(&key);
    if (rc == ERR) return;
    HandleKey(static_cast<int>(key), rc == KEY_CODE_YES);
  }
}

}  // namespace tol
