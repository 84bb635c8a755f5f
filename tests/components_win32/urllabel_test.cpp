#include "components/win32/urllabel.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "components_win32/desktop_support.h"
#include "shared/codepage.h"
#include "shared/errors.h"

namespace tol {
namespace {

constexpr int32_t kBlue = 0x00FF0000;
const std::string kCaption = Utf8ToCp932("http://127.0.0.1/リンク");

enum class Step { kEnter, kLeave, kLeftDown, kRightDown, kDoubleClick, kUpInside, kUpOutside };

class URLLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Shown, so that the cursor can be over the label; a popup, which Wine
    // destroys without waiting for a window manager.
    ShowWindow(parent_.handle, SW_SHOWNOACTIVATE);
    MakeLabel();
  }

  void MakeLabel() {
    label_ = std::make_unique<TURLLabel>(application_, parent_.handle, 10, 10, kCaption);
    label_->set_font_color(kBlue);
    label_->set_shell_open([this](const std::string& target) { opened_.push_back(target); });
  }

  // Puts the cursor inside or well outside the label; returns that point in
  // the label's client coordinates.
  POINT MoveCursor(bool inside) {
    RECT rect;
    GetWindowRect(label_->handle(), &rect);
    POINT point{inside ? (rect.left + rect.right) / 2 : rect.right + 40,
                (rect.top + rect.bottom) / 2};
    EXPECT_TRUE(SetCursorPos(point.x, point.y));
    ScreenToClient(label_->handle(), &point);
    return point;
  }

  void Send(UINT message, POINT at) {
    SendMessageW(label_->handle(), message, 0, MAKELPARAM(at.x, at.y));
  }

  void Do(Step step) {
    switch (step) {
      case Step::kEnter:
        return Send(WM_MOUSEMOVE, MoveCursor(true));
      case Step::kLeave:
        return Send(WM_MOUSELEAVE, POINT{0, 0});
      case Step::kLeftDown:
        return Send(WM_LBUTTONDOWN, MoveCursor(true));
      case Step::kRightDown:
        return Send(WM_RBUTTONDOWN, MoveCursor(true));
      case Step::kDoubleClick:
        return Send(WM_LBUTTONDBLCLK, MoveCursor(true));
      case Step::kUpInside:
        return Send(WM_LBUTTONUP, MoveCursor(true));
      case Step::kUpOutside:
        return Send(WM_LBUTTONUP, MoveCursor(false));
    }
  }

  Application application_;
  TestWindow parent_{L"parent", WS_POPUP};
  std::unique_ptr<TURLLabel> label_;
  std::vector<std::string> opened_;
};

TEST_F(URLLabelTest, ColoursAndOpeningFollowTheMouse) {
  constexpr int32_t kHot = TURLLabel::kDefaultHotColor;
  constexpr int32_t kPushed = TURLLabel::kDefaultPushedColor;
  struct Action {
    Step step;
    int32_t color_after;
  };
  struct Case {
    const char* name;
    bool hot_track;
    bool executable;
    std::vector<Action> actions;
    std::size_t opens;
  };
  const Case cases[] = {
      {"hover", true, false, {{Step::kEnter, kHot}, {Step::kLeave, kBlue}}, 0},
      {"press, release inside",
       true,
       true,
       {{Step::kEnter, kHot},
        {Step::kLeftDown, kPushed},
        {Step::kUpInside, kHot},
        {Step::kLeave, kBlue}},
       1},
      {"press, release outside",
       true,
       false,
       {{Step::kEnter, kHot},
        {Step::kLeftDown, kPushed},
        {Step::kUpOutside, kBlue},
        {Step::kLeave, kBlue}},
       0},
      {"right button opens",
       true,
       true,
       {{Step::kEnter, kHot}, {Step::kRightDown, kPushed}, {Step::kUpInside, kHot}},
       1},
      {"double click opens twice",
       true,
       true,
       {{Step::kEnter, kHot},
        {Step::kLeftDown, kPushed},
        {Step::kUpInside, kHot},
        {Step::kDoubleClick, kPushed},
        {Step::kUpInside, kHot},
        {Step::kLeave, kBlue}},
       2},
      {"HotTrack off",
       false,
       true,
       {{Step::kEnter, kBlue},
        {Step::kLeftDown, kBlue},
        {Step::kUpInside, kBlue},
        {Step::kLeave, kBlue}},
       1},
      {"press without a move before it",
       true,
       true,
       {{Step::kLeftDown, kPushed}, {Step::kUpOutside, kBlue}, {Step::kLeave, kBlue}},
       1},
  };
  for (const Case& c : cases) {
    MakeLabel();
    label_->set_hot_track(c.hot_track);
    label_->set_executable(c.executable);
    for (std::size_t i = 0; i < c.actions.size(); ++i) {
      Do(c.actions[i].step);
      EXPECT_EQ(label_->font_color(), c.actions[i].color_after) << c.name << ", step " << i;
    }
    EXPECT_EQ(opened_, std::vector<std::string>(c.opens, kCaption)) << c.name;
    opened_.clear();
  }
}

TEST_F(URLLabelTest, OrdinaryEventsRunFirstAndTheirFailuresDontStopTheLabel) {
  std::vector<std::string> events;
  int failures = 0;
  application_.set_failure_handler([&](std::exception_ptr) { ++failures; });
  label_->set_executable(true);
  label_->set_on_mouse_down([&](TURLLabel& sender, TURLLabel::TMouseButton button, int, int) {
    // Neither recoloured for the press nor opened yet.
    EXPECT_EQ(sender.font_color(), TURLLabel::kDefaultHotColor);
    EXPECT_TRUE(opened_.empty());
    events.push_back(button == TURLLabel::TMouseButton::kLeft ? "left down" : "right down");
    throw EOtherError("handler failed");
  });
  label_->set_on_mouse_up([&](TURLLabel& sender, TURLLabel::TMouseButton, int, int) {
    EXPECT_EQ(sender.font_color(), TURLLabel::kDefaultPushedColor);
    events.push_back("up");
  });
  label_->set_on_click([&](TURLLabel&) { events.push_back("click"); });

  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"left inside",
       {Step::kEnter, Step::kLeftDown, Step::kUpInside},
       {"left down", "click", "up"}},
      {"left outside", {Step::kEnter, Step::kLeftDown, Step::kUpOutside}, {"left down", "up"}},
      {"right", {Step::kEnter, Step::kRightDown, Step::kUpInside}, {"right down", "up"}},
  };
  for (const Case& c : cases) {
    events.clear();
    opened_.clear();
    failures = 0;
    for (const Step step : c.steps) Do(step);
    Do(Step::kLeave);
    EXPECT_EQ(events, c.events) << c.name;
    EXPECT_EQ(failures, 1) << c.name;
    EXPECT_EQ(opened_.size(), 1u) << c.name;
    EXPECT_EQ(label_->font_color(), kBlue) << c.name;
  }
}

TEST_F(URLLabelTest, HandlerMayDestroyTheLabel) {
  label_->set_executable(true);
  label_->set_on_mouse_down([&](TURLLabel&, TURLLabel::TMouseButton, int, int) { label_.reset(); });
  const HWND window = label_->handle();
  SendMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(1, 1));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(opened_.empty());
}

TEST_F(URLLabelTest, CursorComesFromTheApplicationsTable) {
  // The cursor the label sets when the mouse is over it.
  const auto shown = [&] {
    SetCursor(nullptr);
    SendMessageW(label_->handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(label_->handle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  const auto system_cursor = [](const wchar_t* id) { return LoadCursorW(nullptr, id); };
  const auto number = [](const wchar_t* id) {
    return static_cast<int>(reinterpret_cast<uintptr_t>(id));
  };
  // The test program carries its own "HANDPOINT" cursor, which stands for
  // the hand; a program without one gets the system's hand.
  const HCURSOR own_hand = LoadCursorW(GetModuleHandleW(nullptr), L"HANDPOINT");
  ASSERT_NE(own_hand, nullptr);
  EXPECT_EQ(HandPointCursor(GetModuleHandleW(L"kernel32.dll")), system_cursor(IDC_HAND));

  application_.RegisterCursor(1, system_cursor(IDC_WAIT));
  struct Case {
    const char* name;
    int cursor;
    HCURSOR shown;
  };
  const Case cases[] = {
      {"the hand by default", TURLLabel::kHandPointCursor, own_hand},
      {"a system cursor by its number", number(IDC_CROSS), system_cursor(IDC_CROSS)},
      {"one the application registered", 1, system_cursor(IDC_WAIT)},
      {"an unknown number: the arrow", 77, system_cursor(IDC_ARROW)},
  };
  EXPECT_EQ(label_->cursor(), 32761);
  for (const Case& c : cases) {
    label_->set_cursor(c.cursor);
    EXPECT_EQ(shown(), c.shown) << c.name;
  }
}

TEST_F(URLLabelTest, SizesItselfToTheCaptionAndFont) {
  auto size = [&] {
    RECT rect;
    GetClientRect(label_->handle(), &rect);
    return SIZE{rect.right, rect.bottom};
  };
  EXPECT_EQ(label_->caption(), kCaption);
  const SIZE long_caption = size();
  label_->set_caption("x");
  EXPECT_EQ(label_->caption(), "x");
  const SIZE short_caption = size();
  EXPECT_GT(short_caption.cx, 0);
  EXPECT_LT(short_caption.cx, long_caption.cx);
  EXPECT_EQ(short_caption.cy, long_caption.cy);

  LOGFONTW big{};
  big.lfHeight = -3 * short_caption.cy;
  const HFONT font = CreateFontIndirectW(&big);
  label_->set_font(font);
  EXPECT_EQ(label_->font(), font);
  EXPECT_GT(size().cy, 2 * short_caption.cy);
  label_.reset();
  DeleteObject(font);
}

}  // namespace
}  // namespace tol
