// The history window over a history built here: its cells read back from
// the window's own drawing, its tooltip, and a poll arriving while it is
// open.

#include "monitor/win32/history_window.h"

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>.
#include <commctrl.h>

#include <string>

#include "monitor/texts.h"
#include "shared/codepage.h"

namespace tol {
namespace {

constexpr COLORREF kGood = RGB(0, 255, 0), kDown = RGB(255, 0, 0), kSlow = RGB(255, 255, 0);

HistoryPoll Poll(int minute, ServerState login, ServerState map3) {
  HistoryPoll poll;
  poll.time = DateTime::FromFields({2026, 12, 9, 21, 0, 0})->AddMinutes(minute);
  poll.world = 0;
  for (HistoryCell& cell : poll.cells) cell.state = ServerState::kUp;
  poll.cells[0].state = login;
  poll.cells[6].state = map3;
  HistoryCell& cell = poll.cells[6];
  const std::string word = map3 == ServerState::kDown ? "Down" : "Good";
  cell.word_length = static_cast<uint8_t>(word.size());
  word.copy(cell.word, word.size());
  cell.connect_time = 40 + minute % 7;
  return poll;
}

class HistoryWindowTest : public ::testing::Test {
 protected:
  HistoryWindowTest() : ring_(168) {
    colors_.good = 0x0000FF00;
    colors_.average = 0x0000FFFF;
    colors_.down = 0x000000FF;
    // A full week at one poll a minute; map server 3 went down for the
    // last three polls, Login was slow in the one before them.
    const int polls = 168 * 60;
    for (int m = 0; m < polls; ++m) {
      const bool down = m >= polls - 3;
      ring_.Add(Poll(m, m == polls - 4 ? ServerState::kSlow : ServerState::kUp,
                     down ? ServerState::kDown : ServerState::kUp));
    }
  }

  HistorySource Source() {
    HistorySource source;
    source.history = [this]() -> const HistoryRing& { return ring_; };
    source.caption = [](int slot) { return slot == 7 ? std::string("3") : std::string("x"); };
    source.colors = [this]() -> const ColorSettings& { return colors_; };
    return source;
  }

  // The window's client area as it draws it.
  struct Shot {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    int width, height;
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }
    ~Shot() {
      SelectObject(dc, old);
      DeleteObject(bitmap);
      DeleteDC(dc);
    }
  };
  static std::unique_ptr<Shot> Capture(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    HDC screen = GetDC(nullptr);
    auto shot = std::make_unique<Shot>();
    shot->dc = CreateCompatibleDC(screen);
    shot->bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    ReleaseDC(nullptr, screen);
    shot->old = SelectObject(shot->dc, shot->bitmap);
    shot->width = client.right;
    shot->height = client.bottom;
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(shot->dc), PRF_CLIENT);
    return shot;
  }

  HistoryRing ring_;
  ColorSettings colors_;
};

std::wstring TipOf(HWND window) {
  HWND tooltip = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND candidate, LPARAM found) -> BOOL {
        wchar_t name[64] = L"";
        GetClassNameW(candidate, name, 64);
        if (std::wstring(name) != TOOLTIPS_CLASSW) return TRUE;
        *reinterpret_cast<HWND*>(found) = candidate;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&tooltip));
  if (tooltip == nullptr) return L"(no tooltip)";
  wchar_t text[128] = L"";
  TOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = window;
  tool.uId = 1;
  tool.lpszText = text;
  SendMessageW(tooltip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
  return text;
}

// The newest poll at the right edge, one 4-pixel column per poll at 96
// DPI, a row per server, each cell in its state's colour; the pointer over
// a cell gets that poll's tip; a poll that arrives moves the columns left.
TEST_F(HistoryWindowTest, CellsTipsAndANewPoll) {
  HistoryWindow history(Source());
  history.Open(nullptr);
  HWND window = history.handle();
  ASSERT_NE(window, nullptr);
  {
    const std::unique_ptr<Shot> shot = Capture(window);
    // Rows are at least 16 pixels, in the strip's order: PatH, PatF, Login
    // (row 2), Char, map servers 1 to 15 (map server 3 in row 6).
    const int rows = (shot->height - 18) / 19 >= 16 ? (shot->height - 18) / 19 : 16;
    const int login = 2 * rows + rows / 2, map3 = 6 * rows + rows / 2;
    const int newest = shot->width - 2;
    struct Case {
      const char* name;
      int x, y;
      COLORREF color;
    };
    const Case cases[] = {
        {"map 3, newest", newest, map3, kDown},
        {"map 3, third newest", newest - 8, map3, kDown},
        {"map 3, fourth newest", newest - 12, map3, kGood},
        {"Login, newest", newest, login, kGood},
        {"Login, fourth newest", newest - 12, login, kSlow},
        {"Login, far back", newest - 400, login, kGood},
    };
    for (const Case& c : cases) EXPECT_EQ(shot->at(c.x, c.y), c.color) << c.name;

    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(newest, map3));
    const std::u16string tip = Cp932ToUtf16("12/16 20:59:00 Down 46ms");
    EXPECT_EQ(TipOf(window), std::wstring(tip.begin(), tip.end()));
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(newest - 12, login));
    const std::u16string slow = Cp932ToUtf16("12/16 20:56:00 " + kStateSlowText.bytes());
    EXPECT_EQ(TipOf(window), std::wstring(slow.begin(), slow.end()));
  }

  // Map server 3 comes back: the newest column turns, the others move left.
  ring_.Add(Poll(168 * 60, ServerState::kUp, ServerState::kUp));
  history.Update();
  {
    const std::unique_ptr<Shot> shot = Capture(window);
    const int rows = (shot->height - 18) / 19 >= 16 ? (shot->height - 18) / 19 : 16;
    const int map3 = 6 * rows + rows / 2, newest = shot->width - 2;
    EXPECT_EQ(shot->at(newest, map3), kGood);
    EXPECT_EQ(shot->at(newest - 4, map3), kDown);
    EXPECT_EQ(shot->at(newest - 16, map3), kGood);
  }

  // Closed and opened again: everything is still there.
  history.Close();
  EXPECT_EQ(history.handle(), nullptr);
  history.Open(nullptr);
  ASSERT_NE(history.handle(), nullptr);
  const std::unique_ptr<Shot> shot = Capture(history.handle());
  const int rows = (shot->height - 18) / 19 >= 16 ? (shot->height - 18) / 19 : 16;
  EXPECT_EQ(shot->at(shot->width - 6, 6 * rows + rows / 2), kDown);
}

// Scrolled back, the view and the tip under the pointer stay with their
// polls whatever the history does: a new poll (the full ring drops its
// oldest), a poll that added nothing. At the newest, the view follows the
// polls and the tip names the poll now under the pointer.
TEST_F(HistoryWindowTest, ScrolledBackViewAndTipStayWithTheirPolls) {
  HistoryWindow history(Source());
  history.Open(nullptr);
  HWND window = history.handle();
  ASSERT_NE(window, nullptr);
  RECT client;
  GetClientRect(window, &client);
  const int map3 = 6 * 16 + 8, x = client.right - 2 - 40;
  auto tip_at = [&] {
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, map3));
    return TipOf(window);
  };
  auto add_poll = [&, minute = 168 * 60]() mutable {
    ring_.Add(Poll(minute++, ServerState::kUp, ServerState::kUp));
    history.Update();
  };
  const std::wstring newest = tip_at();
  add_poll();
  const std::wstring after_poll = tip_at();
  EXPECT_NE(after_poll, newest) << "the tip names the poll now under the pointer";
  // The pointer stays; the next poll changes the tip all the same.
  add_poll();
  EXPECT_NE(TipOf(window), after_poll);

  SendMessageW(window, WM_HSCROLL, SB_PAGELEFT, 0);
  const std::wstring back = tip_at();
  struct Step {
    const char* name;
    bool adds;
  };
  for (const Step& step : {Step{"a new poll", true}, Step{"a poll that added nothing", false},
                           Step{"another new poll", true}}) {
    SCOPED_TRACE(step.name);
    if (step.adds) {
      add_poll();
    } else {
      history.Update();
    }
    EXPECT_EQ(TipOf(window), back);
    EXPECT_EQ(tip_at(), back);
  }
  // Back at the newest: the view follows again.
  SendMessageW(window, WM_HSCROLL, SB_RIGHT, 0);
  const std::wstring front = tip_at();
  add_poll();
  EXPECT_NE(tip_at(), front);
}

}  // namespace
}  // namespace tol
