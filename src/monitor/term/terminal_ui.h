#pragma once
// The interactive front-end of the terminal monitor (ncursesw): draws the
// monitor's model and turns keys into monitor operations. Everything runs on
// the event loop's thread.
//
// Keys: arrows select a panel (its hint is shown), Enter opens the map menu
// of a selected map panel; r refresh, w world menu, p patch-server menu,
// 1-9 and 0 the map menus of servers 1-10, ! @ # $ % those of 11-15,
// u update-time toggle, t always-in-front toggle, h the history chart on or
// off, q quit. In a menu: arrows
// move, Enter chooses, Esc (or q) closes.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "monitor/model.h"
#include "monitor/monitor.h"

// ncurses' screen type, without pulling <curses.h> and its macros in here.
struct screen;
typedef struct screen SCREEN;

namespace tol {

// The nearest entry of the xterm 256-colour palette to an $00BBGGRR value.
int NearestXterm256(int32_t color);

class TerminalUi {
 public:
  // Takes over the terminal; the destructor gives it back. nullptr when the
  // terminal type is unknown.
  static std::unique_ptr<TerminalUi> Create(KovunMonitor& monitor);
  ~TerminalUi();
  TerminalUi(const TerminalUi&) = delete;
  TerminalUi& operator=(const TerminalUi&) = delete;

  // Reads every key waiting on standard input (and ncurses' resize event,
  // so call it after every loop iteration).
  void HandleInput();
  void Draw();
  void Beep();
  // Shows the alert in the status line (with the bell when `sound`).
  void ShowAlert(const Alert& alert, bool sound);
  bool quit() const { return quit_; }

 private:
  enum class Menu { kNone, kWorld, kPatch, kMap };
  struct Cell {
    int slot;
    int y;
    int x;
    int width;
  };

  std::vector<Cell> Layout(int top) const;
  void HandleKey(int key, bool is_function_key);
  void HandleMenuKey(int key, bool is_function_key);
  void OpenMenu(Menu menu, int map_index = 0);
  std::vector<MenuEntryModel> MenuEntries() const;
  bool Selectable(const std::vector<MenuEntryModel>& entries, int i) const;
  void MoveMenuCursor(int step);
  void DrawPanel(const Cell& cell, bool selected);
  void DrawMenu(int top);
  void DrawHistory(int top);
  int PairFor(int32_t color);

  TerminalUi(KovunMonitor& monitor, SCREEN* screen);

  KovunMonitor& monitor_;
  SCREEN* screen_;
  bool quit_ = false;
  bool has_colors_ = false;
  int selected_ = 0;  // index into kStripOrder
  Menu menu_ = Menu::kNone;
  int map_index_ = 0;  // menu of map server map_index_ + 1
  int menu_cursor_ = 0;
  bool show_history_ = false;
  std::string alert_line_;  // code page 932
  std::map<int32_t, int> pairs_;
  int next_pair_ = 1;
};

}  // namespace tol
