#pragma once
// TURLLabel: a text label that behaves like a web link. It takes its hover
// colour while the mouse is over it and its pushed colour while a button is
// pressed on it, shows its cursor (the hand unless set), and, when Executable
// is on, asks the desktop to open its caption (a web address) with the
// default handler.
//
// The cursor is a number in the application's cursor table. Each label
// registers kHandPointCursor there as the program's own "HANDPOINT" cursor
// resource, or, for a program without one, the system's hand: the system's
// follows the user's pointer scheme, size and DPI, so the components ship
// no image of their own. A program that wants one adds a "HANDPOINT" CURSOR
// to its own resource script (resources of this static library would not
// reach the executable).
//
// The label is a child window of `parent`, sized to its caption in its font
// (the parent's font unless one is set), on the parent's static-control
// background. Colours are $00BBGGRR; a top byte of $FF names a system colour
// by the number in the low byte.
//
// Mouse handling, after the label's ordinary mouse events:
// - the mouse enters: with HotTrack, remember the font colour and take
//   HotColor; it leaves: with HotTrack, take the remembered colour back;
// - any button goes down (the second press of a double click too): with
//   HotTrack, take PushedColor; with Executable, open the caption;
// - a button goes up: with HotTrack, HotColor when the cursor is inside the
//   label, else the remembered colour.
// A press that comes without a mouse move first counts as the mouse entering.
//
// Everything runs on the UI thread that created the label.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "components/color.h"
#include "components/win32/application.h"

struct HWND__;       // HWND, without <windows.h>
struct HFONT__;      // HFONT
struct HICON__;      // HICON, and HCURSOR
struct HINSTANCE__;  // HINSTANCE, and HMODULE

namespace tol {

class TURLLabel {
 public:
  enum class TMouseButton { kLeft, kRight, kMiddle, kExtra };
  // Raised with the label, the button and the point in client coordinates.
  using TMouseEvent = std::function<void(TURLLabel& sender, TMouseButton button, int x, int y)>;
  using TNotifyEvent = std::function<void(TURLLabel& sender)>;
  // Opens `caption_cp932` with the desktop's default handler. The result is
  // not examined: the desktop's refusal is not reported.
  using ShellOpen = std::function<void(const std::string& caption_cp932)>;

  // The system's window text colour, the font colour of a new label.
  static constexpr int32_t kWindowTextColor = static_cast<int32_t>(tol::kWindowTextColor);
  static constexpr int32_t kDefaultHotColor = 0x00FFFF00;
  static constexpr int32_t kDefaultPushedColor = 0x000000FF;
  // The hand pointer's number in the application's cursor table.
  static constexpr int kHandPointCursor = 32761;

  // Creates the label window at (`left`, `top`) in `parent`'s client area;
  // throws EOtherError when the desktop refuses it. `application` receives the
  // failures of the event handlers and must outlive the label.
  TURLLabel(Application& application, HWND__* parent, int left, int top,
            std::string_view caption_cp932);
  ~TURLLabel();
  TURLLabel(const TURLLabel&) = delete;
  TURLLabel& operator=(const TURLLabel&) = delete;

  // The caption; setting it resizes the label to the text.
  std::string caption() const;
  void set_caption(std::string_view caption_cp932);

  // The font the caption is drawn in (not owned: it must outlive its use by
  // the label). WM_SETFONT sets it too.
  HFONT__* font() const { return font_; }
  void set_font(HFONT__* font);

  // The current font colour: changes with the mouse while HotTrack is on.
  int32_t font_color() const { return font_color_; }
  void set_font_color(int32_t color);

  bool executable() const { return executable_; }
  void set_executable(bool on) { executable_ = on; }
  bool hot_track() const { return hot_track_; }
  void set_hot_track(bool on);
  int32_t hot_color() const { return hot_color_; }
  void set_hot_color(int32_t color);
  int32_t pushed_color() const { return pushed_color_; }
  void set_pushed_color(int32_t color);
  // The cursor over the label: a number in the application's cursor table.
  int cursor() const { return cursor_; }
  void set_cursor(int number) { cursor_ = number; }

  // The label's ordinary mouse events, run before the link's own steps. An
  // empty handler is skipped; anything a handler throws goes to the
  // application's failure handler and the label carries on. OnClick follows a
  // left press and release on the label.
  void set_on_mouse_down(TMouseEvent handler) { on_mouse_down_ = std::move(handler); }
  void set_on_mouse_up(TMouseEvent handler) { on_mouse_up_ = std::move(handler); }
  void set_on_click(TNotifyEvent handler) { on_click_ = std::move(handler); }

  // How the caption is opened; the default asks the shell with the verb
  // "OPEN". Tests put a recorder here so that no browser starts.
  void set_shell_open(ShellOpen open) { shell_open_ = std::move(open); }

  // The label window (null once something destroyed it).
  HWND__* handle() const { return window_; }

 private:
  class LabelWindow;  // the window class and its procedure

  void Repaint();
  void AutoSize();
  void Paint();
  void MouseMove(int x, int y);
  void MouseEnter();
  void MouseLeave();
  void MouseDown(TMouseButton button, int x, int y);
  void MouseUp(TMouseButton button, int x, int y);
  // Runs `handler` guarded; false when the label was destroyed meanwhile.
  template <typename F>
  bool RunHandler(F&& handler);

  Application& application_;
  HWND__* window_ = nullptr;
  HFONT__* font_ = nullptr;
  int32_t font_color_ = kWindowTextColor;
  int32_t hot_color_ = kDefaultHotColor;
  int32_t pushed_color_ = kDefaultPushedColor;
  bool executable_ = false;
  bool hot_track_ = true;
  int cursor_ = kHandPointCursor;
  // The colour found when the mouse entered, while it is over the label.
  int32_t remembered_color_ = kWindowTextColor;
  bool remembered_ = false;
  bool mouse_inside_ = false;  // entered and not yet left
  bool left_pressed_ = false;  // a left press waits for its release (OnClick)
  TMouseEvent on_mouse_down_;
  TMouseEvent on_mouse_up_;
  TNotifyEvent on_click_;
  ShellOpen shell_open_;
  // Expires with the label: a handler may destroy it.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

// The hand pointer of a program: its own "HANDPOINT" cursor resource in
// `module`, else the system's hand.
HICON__* HandPointCursor(HINSTANCE__* module);

}  // namespace tol
