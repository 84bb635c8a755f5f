#include "components/win32/application.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "shared/codepage.h"

namespace tol {

struct HandlerLink::Entries {
  uint64_t next_id = 1;
  std::vector<std::pair<uint64_t, std::function<void()>>> handlers;
};

HandlerLink::HandlerLink(HandlerLink&& other) noexcept
    : chain_(std::move(other.chain_)), id_(std::exchange(other.id_, 0)) {}

HandlerLink& HandlerLink::operator=(HandlerLink&& other) noexcept {
  if (this != &other) {
    Reset();
    chain_ = std::move(other.chain_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void HandlerLink::Reset() {
  if (auto entries = chain_.lock()) {
    auto& handlers = entries->handlers;
    handlers.erase(std::remove_if(handlers.begin(), handlers.end(),
                                  [this](const auto& entry) { return entry.first == id_; }),
                   handlers.end());
  }
  chain_.reset();
  id_ = 0;
}

HandlerChain::HandlerChain() : entries_(std::make_shared<HandlerLink::Entries>()) {}

HandlerLink HandlerChain::Join(std::function<void()> handler) {
  const uint64_t id = entries_->next_id++;
  entries_->handlers.emplace_back(id, std::move(handler));
  return HandlerLink(entries_, id);
}

void HandlerChain::Raise(const std::function<void(const std::function<void()>&)>& guard) const {
  // A handler may join or leave while the chain runs (a component created or
  // destroyed by it): walk a list of the ids and look each one up in turn.
  const auto entries = entries_;
  std::vector<uint64_t> ids;
  ids.reserve(entries->handlers.size());
  for (const auto& entry : entries->handlers) ids.push_back(entry.first);
  for (const uint64_t id : ids) {
    const auto it = std::find_if(entries->handlers.begin(), entries->handlers.end(),
                                 [id](const auto& entry) { return entry.first == id; });
    if (it == entries->handlers.end() || !it->second) continue;
    // A copy: the handler may end its own link while it runs.
    const std::function<void()> handler = it->second;
    guard(handler);
  }
}

std::size_t HandlerChain::size() const { return entries_->handlers.size(); }

void Application::SetTitle(std::string_view cp932) {
  const std::u16string wide = Cp932ToUtf16(cp932);
  title_.assign(wide.begin(), wide.end());
}

void Application::NotifyMinimized() {
  minimized_ = true;
  on_minimize_.Raise([this](const std::function<void()>& handler) { RunGuarded(handler); });
}

void Application::NotifyRestored() {
  minimized_ = false;
  on_restore_.Raise([this](const std::function<void()>& handler) { RunGuarded(handler); });
}

void Application::Minimize() {
  if (main_window_ != nullptr && IsWindow(main_window_)) ShowWindow(main_window_, SW_MINIMIZE);
  // The main window reports the change from its own size message; without
  // one (or before it did), report it here.
  if (!minimized_) NotifyMinimized();
}

void Application::Restore() {
  if (main_window_ != nullptr && IsWindow(main_window_)) {
    if (!IsWindowVisible(main_window_)) ShowWindow(main_window_, SW_SHOW);
    if (IsIconic(main_window_)) ShowWindow(main_window_, SW_RESTORE);
  }
  if (minimized_) NotifyRestored();
}

void Application::HideTaskbarEntry() {
  if (main_window_ != nullptr && IsWindow(main_window_)) ShowWindow(main_window_, SW_HIDE);
}

HICON__* Application::CursorHandle(int number) const {
  if (const auto found = cursors_.find(number);
      found != cursors_.end() && found->second != nullptr) {
    return found->second;
  }
  // Only the range of resource identifiers can name a system cursor.
  if (number > 0 && number <= 0xFFFF) {
    if (HCURSOR system = LoadCursorW(nullptr, MAKEINTRESOURCEW(number))) return system;
  }
  return LoadCursorW(nullptr, IDC_ARROW);
}

void Application::ProcessMessages() {
  MSG message;
  for (int i = 0; i < 1000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) {
      // Leave the quit request for the program's own message loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

namespace {

void WriteToDebugger(const wchar_t* what, std::exception_ptr failure) {
  std::wstring line = what;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    const std::u16string message = Cp932ToUtf16(e.what());
    line.append(L": ").append(message.begin(), message.end());
  } catch (...) {
  }
  line += L"\n";
  OutputDebugStringW(line.c_str());
}

}  // namespace

void Application::ReportFailure(std::exception_ptr failure) noexcept {
  if (!failure) return;
  try {
    if (failure_handler_) {
      failure_handler_(failure);
      return;
    }
    WriteToDebugger(L"Unhandled failure", failure);
  } catch (...) {
    try {
      WriteToDebugger(L"The failure handler failed", std::current_exception());
    } catch (...) {
    }
  }
}

}  // namespace tol
