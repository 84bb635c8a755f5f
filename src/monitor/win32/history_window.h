#pragma once
// The history window: one row per server with its caption at the left, one
// cell per poll in the colour of the server's state, the newest at the
// right, times along the bottom, and a tooltip on a cell with the poll's
// time, status word and connect time. Resizable, scrolled back through a
// long history with its scroll bar, sized for the monitor's DPI.
//
// It only reads: the history, the panel captions and the colours come from
// the source at each paint, so closing it loses nothing and a poll only
// asks it to paint again (Update). Only the cells that fit are drawn, into
// a buffer, so a full week of history paints as fast as an hour.

#include <functional>
#include <memory>
#include <string>

#include "monitor/history.h"
#include "monitor/settings.h"

struct HWND__;  // HWND, without <windows.h>
struct HDC__;   // HDC

namespace tol {

struct HistorySource {
  std::function<const HistoryRing&()> history;
  std::function<std::string(int slot)> caption;  // code page 932
  std::function<const ColorSettings&()> colors;
};

class HistoryWindow {
 public:
  explicit HistoryWindow(HistorySource source);
  ~HistoryWindow();
  HistoryWindow(const HistoryWindow&) = delete;
  HistoryWindow& operator=(const HistoryWindow&) = delete;

  // Shows the window (creating it near `owner`'s monitor), or brings it to
  // the front when it is open. Throws EOtherError when the desktop refuses.
  void Open(HWND__* owner);
  // A poll was added: an open window paints again, still scrolled back as
  // far as the player left it.
  void Update();
  // Closes the window if it is open.
  void Close();
  HWND__* handle() const;

  // Paints the whole chart into `dc` (a device context) at `width` by
  // `height`, as the window does.
  void PaintInto(HDC__* dc, int width, int height);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tol
