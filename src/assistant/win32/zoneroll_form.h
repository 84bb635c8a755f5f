#pragma once
// TForm1: the window of Zoneroll.exe, the assistant's one window.
//
// It holds the run log (Memo1), the three texts of the fetch run with their
// labels (LabeledEdit1 output folder, LabeledEdit2 file name text,
// LabeledEdit3 folder of TolMap.ini), two folder choices (BitBtn1, BitBtn2),
// the output file name preview (Label1 "=>", Label2) and the buttons "取得"
// (Button1, the fetch run) and "終了" (Button2, close). The three texts are
// loaded from section "Zoneroll.exe" of Zoneroll.ini in the working directory
// when the window is created and saved there when it closes; closing the
// window ends the program.
//
// The fetch run goes on a worker thread, so that the window keeps painting
// and shows each log line as it comes. For as long as it lasts the window
// takes no input that could change the run: "取得" and the folder choices
// are disabled, the edits and the log read-only. Closing the window ("終了",
// the title bar, or the end of the session) gives the run up at once: the
// request in flight is abandoned, the worlds done keep their files and times,
// and the three texts are saved as at every close. The worker never touches
// a window: it queues the log lines and its outcome and posts a message, and
// the window applies them on its own thread (run_events.h), where the error
// box of a failed run is shown too.
//
// Everything but the worker runs on the UI thread that created the window.

#include <memory>
#include <optional>
#include <string>

struct HWND__;  // HWND, without <windows.h>

namespace tol {

class Application;
class Clock;
class HttpClient;

class TForm1 {
 public:
  // The window's class name, for the tests that look for it.
  static constexpr const wchar_t* kClassName = L"TForm1";

  // Control ids, for the tests that drive the window.
  enum ControlId : int {
    kMemo1 = 101,
    kLabeledEdit1 = 102,
    kBitBtn1 = 103,
    kLabeledEdit2 = 104,
    kButton1 = 105,
    kButton2 = 106,
    kLabeledEdit3 = 107,
    kBitBtn2 = 108,
    kLabel1 = 109,
    kLabel2 = 110,
    kLabeledEdit1Label = 111,
    kLabeledEdit2Label = 112,
    kLabeledEdit3Label = 113,
  };

  // Creates the window, hidden, and loads the settings into it (FormCreate).
  // `program_folder` is the exact code page 932 text of the program's folder
  // (FilePath::ExactText), nullopt when it has none; the output folder's
  // default comes from it (assistant/output_folder.h). `http` is the client
  // of every run (it keeps the service's cookies, and is abandoned when the
  // window closes during a run); it, `clock` and `application` must outlive
  // the form. Throws EOtherError when the desktop refuses the window.
  TForm1(Application& application, HttpClient& http, const Clock& clock,
         std::optional<std::string> program_folder);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  void Show(int show_command);
  HWND__* handle() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tol
