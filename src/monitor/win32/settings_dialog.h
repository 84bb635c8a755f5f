#pragma once
// TForm2: the monitor's settings dialog, which serves as its about box.
//
// A modal dialog with a dialog frame (fixed size, no minimise or maximise
// box), caption "Kovun設定", a client area of 473 x 301 and, at (8, 8), a
// page control of 457 x 257 whose only page is the version page: the
// program's title, its revision, a credits line, the line naming the status
// service, and two link labels (the program's home page and the status
// service's site) that open their address in the browser when pressed. OK
// and Cancel below close it; closing it by the frame or with Esc counts as
// Cancel, Enter as OK. The dialog reads and writes nothing: closing it
// changes nothing, whatever the button.
//
// The pages of settings that the page control once held behind hidden tabs
// are not built; a request for one of them selects the version page.
//
// Sizes are designed at 96 DPI and scaled to the DPI of the monitor the
// dialog opens on (and again when it is moved to a monitor of another DPI),
// as is the font, "ＭＳ Ｐゴシック" 12 px with the Shift-JIS character set (or the
// closest Japanese UI font the system has).
//
// Created hidden once at program start, right after the main window, and
// shown as often as asked; destroyed at program end. Everything runs on the
// UI thread that created it.

#include <memory>

#include "components/win32/application.h"
#include "components/win32/urllabel.h"

struct HWND__;  // HWND, without <windows.h>

namespace tol {

class TForm2 {
 public:
  enum class ModalResult { kNone, kOk, kCancel };

  // Pages of the page control, by index; only the version page is built.
  static constexpr int kPageCount = 8;
  static constexpr int kVersionPage = 7;

  // The status service's site, the version page's second link (the first is
  // the program's home page, kHomepageUrl).
  static constexpr const char* kStatusSiteAddress = "http://status.tolvane.example/";

  // Creates the dialog and its controls, hidden. `owner` (the main window,
  // or null) stays below the dialog and is disabled while it is shown.
  // Throws EOtherError when the desktop refuses a window. `application`
  // receives the failures of the dialog's handlers and must outlive it.
  TForm2(Application& application, HWND__* owner);
  ~TForm2();
  TForm2(const TForm2&) = delete;
  TForm2& operator=(const TForm2&) = delete;

  // PageControl1's selected page. Any index selects the version page, the
  // only one there is: a page that isn't built can't be shown.
  void SelectPage(int index);
  int active_page() const { return kVersionPage; }

  // Shows the dialog centred over the owner (kept on the owner's monitor),
  // with the owner disabled, and processes the thread's messages, the
  // owner's timers included, until the dialog is closed; then hides it,
  // enables the owner again and returns how it was closed. A quit request
  // that arrives meanwhile closes it as Cancel and stays in the queue for
  // the program's own loop. While the dialog is shown, a nested call returns
  // kCancel at once.
  ModalResult ShowModal();
  bool showing() const { return showing_; }

  // The dialog window (null once something destroyed it).
  HWND__* handle() const { return window_; }
  // The two link labels, the home page's first.
  TURLLabel& home_page_link() { return *home_page_link_; }
  TURLLabel& status_site_link() { return *status_site_link_; }

 private:
  class Windows;  // window classes and procedures
  struct Resources;

  void CreateControls();
  void Relayout(unsigned dpi);
  void PlaceOverOwner();
  void RebuildPageBrush();
  void Close(ModalResult result);

  Application& application_;
  HWND__* owner_;
  HWND__* window_ = nullptr;
  HWND__* page_control_ = nullptr;
  HWND__* version_page_ = nullptr;
  std::unique_ptr<Resources> resources_;
  std::unique_ptr<TURLLabel> home_page_link_;
  std::unique_ptr<TURLLabel> status_site_link_;
  bool showing_ = false;
  ModalResult result_ = ModalResult::kNone;
};

}  // namespace tol
