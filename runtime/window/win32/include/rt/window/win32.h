// The Win32 backend of the window layer: each window is a top-level window
// of native controls (static texts, group boxes, check boxes, list boxes,
// push buttons), the thread's message loop runs the events, and the
// user-interface services are Windows' own (MessageBoxW, MessageBeep, the
// wait cursor). Texts are GBK inside and UTF-16 at the Windows edge.
#pragma once

#include <memory>

#include "rt/ui.h"
#include "rt/window/session.h"

namespace rt {

// Message boxes, beep and pointer through Windows.
class Win32Ui : public UiServices {
 public:
  int MessageBox(const std::string& title, const std::string& text, Icon icon, Buttons buttons) override;
  void Beep() override;
  Pointer SetPointer(Pointer p) override;
  Pointer pointer() const { return pointer_; }

 private:
  Pointer pointer_ = Pointer::Arrow;
};

class Win32Backend : public WindowBackend {
 public:
  Win32Backend();
  ~Win32Backend() override;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  // The native window of an open window, and that of one of its controls,
  // as HWND values; null when there is none.
  void* native_window(const Window& w) const;
  void* native_control(const Control& c) const;

  std::unique_ptr<WindowPeer> CreatePeer(Window& w, Session& session) override;
  void Post(std::function<void()> fn) override;
  void Run() override;
  void Quit() override;
  UiServices& Ui() override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The name of the icon resource that a program carries for the stock
// database picture ("Database!").
inline constexpr const wchar_t* kDatabaseIconResource = L"RT_DATABASE";

// GBK text as UTF-16, for the Windows edge.
std::wstring to_wide(const std::string& gbk_text);

}  // namespace rt
