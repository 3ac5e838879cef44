#include <windows.h>

#include <algorithm>
#include <deque>
#include <map>

#include "rt/text.h"
#include "rt/window/win32.h"

namespace rt {

namespace {

constexpr const wchar_t* kWindowClass = L"rt_window";
constexpr const wchar_t* kQueueClass = L"rt_window_queue";
constexpr UINT kRunPosted = WM_APP + 1;

COLORREF to_colorref(Colour c) {
  if (auto sys = system_colour(c)) return GetSysColor(*sys == SystemColour::WindowText ? COLOR_WINDOWTEXT : COLOR_BTNFACE);
  Rgb v = rgb_of(c);
  return RGB(v.r, v.g, v.b);
}

// One GDI object, deleted with its holder.
template <class H>
struct Gdi {
  H h = nullptr;
  Gdi() = default;
  Gdi(const Gdi&) = delete;
  Gdi& operator=(const Gdi&) = delete;
  ~Gdi() { reset(); }
  void reset(H v = nullptr) {
    if (h) DeleteObject(h);
    h = v;
  }
};

// What a native control needs beyond its HWND.
struct NativeControl {
  HWND hwnd = nullptr;
  Gdi<HFONT> font;
  Font applied_font;
  bool has_font = false;
  Gdi<HBRUSH> back;
  COLORREF back_rgb = 0;
  bool has_back = false;
};

}  // namespace

std::wstring to_wide(const std::string& gbk_text) {
  std::string u8 = utf8(gbk_text);
  if (u8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, u8.data(), static_cast<int>(u8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, u8.data(), static_cast<int>(u8.size()), out.data(), n);
  return out;
}

class Win32Peer;

struct Win32Backend::Impl {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND queue = nullptr;
  std::deque<std::function<void()>> posted;
  std::map<HWND, Win32Peer*> peers;
  std::map<const Window*, Win32Peer*> by_window;
  Win32Ui ui;
  bool quit_requested = false;
  bool in_loop = false;
};

class Win32Peer : public WindowPeer {
 public:
  Win32Peer(Window& w, Session& s, Win32Backend::Impl& backend);
  ~Win32Peer() override;

  void Show() override;
  void WindowChanged() override;
  void ControlChanged(Control& c) override;
  void ControlRemoved(Control& c) override;
  void Close() override;

  HWND hwnd() const { return hwnd_; }
  HWND native(const Control& c) const {
    auto it = controls_.find(&c);
    return it == controls_.end() ? nullptr : it->second.hwnd;
  }
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  // Tab and Shift+Tab move along the window's tab sequence.
  bool TabKey(bool backwards);

 private:
  Control* find(HWND h) const {
    for (auto& [c, n] : controls_)
      if (n.hwnd == h) return const_cast<Control*>(c);
    return nullptr;
  }
  void make(Control& c);
  void apply(Control& c, NativeControl& n);
  LRESULT colour(HDC dc, HWND child, bool button);
  std::vector<HWND> focusable() const;

  Window& window_;
  Session& session_;
  Win32Backend::Impl& backend_;
  HWND hwnd_ = nullptr;
  std::map<const Control*, NativeControl> controls_;
  Gdi<HBRUSH> window_brush_;
  HICON icon_big_ = nullptr, icon_small_ = nullptr;
  int applied_w_ = -1, applied_h_ = -1;
};

namespace {

LRESULT CALLBACK window_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* peer = reinterpret_cast<Win32Peer*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (peer && peer->hwnd() == h) return peer->Handle(msg, wp, lp);
  return DefWindowProcW(h, msg, wp, lp);
}

LRESULT CALLBACK queue_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kRunPosted) {
    auto* impl = reinterpret_cast<Win32Backend::Impl*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (impl && !impl->posted.empty()) {
      std::function<void()> fn = std::move(impl->posted.front());
      impl->posted.pop_front();
      fn();
    }
    return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

HICON load_database_icon(HINSTANCE instance, int size) {
  return static_cast<HICON>(
      LoadImageW(instance, kDatabaseIconResource, IMAGE_ICON, size, size, LR_DEFAULTCOLOR | LR_SHARED));
}

}  // namespace

Win32Peer::Win32Peer(Window& w, Session& s, Win32Backend::Impl& backend)
    : window_(w), session_(s), backend_(backend) {
  // Without WS_CLIPCHILDREN: a group box draws only its frame and title,
  // and the window's own background shows through the rest of it.
  DWORD style = WS_OVERLAPPED;
  if (w.title_bar()) style |= WS_CAPTION;
  if (w.control_menu()) style |= WS_SYSMENU;
  if (w.resizable()) style |= WS_THICKFRAME;
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                          units_to_pixels(w.width()), units_to_pixels(w.height()), nullptr, nullptr,
                          backend_.instance, this);
  backend_.peers[hwnd_] = this;
  backend_.by_window[&window_] = this;
  WindowChanged();
  for (Control* c : window_.control()) ControlChanged(*c);
}

Win32Peer::~Win32Peer() { Close(); }

void Win32Peer::Close() {
  if (!hwnd_) return;
  HWND h = hwnd_;
  backend_.peers.erase(h);
  backend_.by_window.erase(&window_);
  SetWindowLongPtrW(h, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
  DestroyWindow(h);  // its controls go with it
  controls_.clear();
}

void Win32Peer::WindowChanged() {
  if (!hwnd_) return;
  SetWindowTextW(hwnd_, to_wide(window_.title().value_or(std::string())).c_str());
  // The window's size follows its own size only when that changes, so a
  // size the user gave it stays.
  if (window_.width() != applied_w_ || window_.height() != applied_h_) {
    applied_w_ = window_.width();
    applied_h_ = window_.height();
    SetWindowPos(hwnd_, nullptr, 0, 0, units_to_pixels(applied_w_), units_to_pixels(applied_h_),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  window_brush_.reset(CreateSolidBrush(to_colorref(window_.back_colour())));
  HICON big = nullptr, small = nullptr;
  if (window_.icon() == kIconDatabase) {
    big = load_database_icon(backend_.instance, GetSystemMetrics(SM_CXICON));
    small = load_database_icon(backend_.instance, GetSystemMetrics(SM_CXSMICON));
  }
  if (big != icon_big_ || small != icon_small_) {
    icon_big_ = big;
    icon_small_ = small;
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32Peer::make(Control& c) {
  const wchar_t* cls = L"STATIC";
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD ex = 0;
  switch (c.kind()) {
    case ControlKind::StaticText:
      style |= SS_NOPREFIX | SS_CENTERIMAGE;
      style |= c.alignment() == kAlignCenter ? SS_CENTER : c.alignment() == kAlignRight ? SS_RIGHT : SS_LEFT;
      if (c.border()) ex |= c.border_style() == kBorderLowered ? WS_EX_CLIENTEDGE : WS_EX_STATICEDGE;
      break;
    case ControlKind::GroupBox:
      cls = L"BUTTON";
      style |= BS_GROUPBOX;
      break;
    case ControlKind::CheckBox:
      cls = L"BUTTON";
      style |= BS_AUTOCHECKBOX;
      break;
    case ControlKind::ListBox: {
      auto& lb = static_cast<ListBox&>(c);
      cls = L"LISTBOX";
      style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
      if (lb.vscroll()) style |= WS_VSCROLL;
      if (lb.hscroll()) style |= WS_HSCROLL;
      if (c.border()) ex |= WS_EX_CLIENTEDGE;
      break;
    }
    case ControlKind::CommandButton:
      cls = L"BUTTON";
      style |= BS_PUSHBUTTON;
      break;
  }
  // Child ids follow the declaration order; 1 and 2 (OK and Cancel of a
  // dialog) stay unused.
  const auto& all = window_.control();
  auto at = std::find(all.begin(), all.end(), &c);
  auto id = static_cast<INT_PTR>(100 + (at - all.begin()));
  NativeControl& n = controls_[&c];
  n.hwnd = CreateWindowExW(ex, cls, L"", style, 0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(id), backend_.instance,
                           nullptr);
}

void Win32Peer::apply(Control& c, NativeControl& n) {
  HWND h = n.hwnd;
  SetWindowPos(h, nullptr, units_to_pixels(c.x()), units_to_pixels(c.y()), units_to_pixels(c.width()),
               units_to_pixels(c.height()), SWP_NOZORDER | SWP_NOACTIVATE);
  if (!n.has_font || !(n.applied_font == c.font())) {
    const Font& f = c.font();
    std::wstring face = to_wide(f.face);
    // The pitch in the low bits and the family above them, as a font
    // description carries them.
    BYTE pitch_family = static_cast<BYTE>((f.pitch & 0x3) | ((f.family & 0xF) << 4));
    HFONT font = CreateFontW(-font_pixels(f.size), 0, 0, 0, f.weight, f.italic, f.underline, FALSE,
                             static_cast<DWORD>(f.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, pitch_family, face.c_str());
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    n.font.reset(font);
    n.applied_font = f;
    n.has_font = true;
  }
  if (c.back_colour()) {
    COLORREF bg = to_colorref(*c.back_colour());
    if (!n.has_back || bg != n.back_rgb) n.back.reset(CreateSolidBrush(bg));
    n.back_rgb = bg;
    n.has_back = true;
  } else {
    n.back.reset();
    n.has_back = false;
  }

  std::string text = c.text().value_or(std::string());
  switch (c.kind()) {
    case ControlKind::StaticText: SetWindowTextW(h, to_wide(display_text(text)).c_str()); break;
    case ControlKind::GroupBox:
    case ControlKind::CommandButton:
      // Windows reads "&" and "&&" in button texts itself.
      SetWindowTextW(h, to_wide(text).c_str());
      break;
    case ControlKind::CheckBox:
      SetWindowTextW(h, to_wide(text).c_str());
      SendMessageW(h, BM_SETCHECK, static_cast<CheckBox&>(c).checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ControlKind::ListBox: {
      auto& lb = static_cast<ListBox&>(c);
      SendMessageW(h, WM_SETREDRAW, FALSE, 0);
      SendMessageW(h, LB_RESETCONTENT, 0, 0);
      int widest = 0;
      HDC dc = GetDC(h);
      HGDIOBJ old = SelectObject(dc, n.font.h);
      for (const std::string& item : lb.items()) {
        std::wstring w = to_wide(item);
        SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
        SIZE sz{};
        GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &sz);
        widest = std::max(widest, static_cast<int>(sz.cx) + 4);
      }
      SelectObject(dc, old);
      ReleaseDC(h, dc);
      // The horizontal scroll bar scrolls as far as the widest item.
      SendMessageW(h, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
      SendMessageW(h, WM_SETREDRAW, TRUE, 0);
      break;
    }
  }
  LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
  bool tab = c.tab_order() > 0 && (c.kind() == ControlKind::CommandButton || c.kind() == ControlKind::CheckBox ||
                                   c.kind() == ControlKind::ListBox);
  style = tab ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
  SetWindowLongPtrW(h, GWL_STYLE, style);
  EnableWindow(h, c.enabled() ? TRUE : FALSE);
  ShowWindow(h, c.visible() ? SW_SHOWNA : SW_HIDE);
  InvalidateRect(h, nullptr, TRUE);
}

void Win32Peer::ControlChanged(Control& c) {
  if (!hwnd_) return;
  if (!native(c)) make(c);
  apply(c, controls_[&c]);
}

void Win32Peer::ControlRemoved(Control& c) {
  auto it = controls_.find(&c);
  if (it == controls_.end()) return;
  if (it->second.hwnd) DestroyWindow(it->second.hwnd);
  controls_.erase(it);
}

std::vector<HWND> Win32Peer::focusable() const {
  std::vector<HWND> out;
  for (Control* c : window_.tab_sequence()) {
    HWND h = native(*c);
    if (h && (GetWindowLongPtrW(h, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(h) && IsWindowEnabled(h))
      out.push_back(h);
  }
  return out;
}

bool Win32Peer::TabKey(bool backwards) {
  std::vector<HWND> seq = focusable();
  if (seq.empty()) return false;
  HWND focus = GetFocus();
  auto it = std::find(seq.begin(), seq.end(), focus);
  std::size_t next;
  if (it == seq.end()) {
    next = backwards ? seq.size() - 1 : 0;
  } else {
    std::size_t at = static_cast<std::size_t>(it - seq.begin());
    next = backwards ? (at + seq.size() - 1) % seq.size() : (at + 1) % seq.size();
  }
  SetFocus(seq[next]);
  return true;
}

void Win32Peer::Show() {
  if (!hwnd_) return;
  if (window_.centered()) {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT r{};
    GetWindowRect(hwnd_, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  SetForegroundWindow(hwnd_);
  std::vector<HWND> seq = focusable();
  if (!seq.empty()) SetFocus(seq.front());
}

LRESULT Win32Peer::colour(HDC dc, HWND child, bool button) {
  Control* c = find(child);
  COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
  HBRUSH brush = window_brush_.h;
  COLORREF back = to_colorref(window_.back_colour());
  if (c) {
    if (c->text_colour()) text = to_colorref(*c->text_colour());
    NativeControl& n = controls_[c];
    if (n.has_back) {
      brush = n.back.h;
      back = n.back_rgb;
    } else if (button) {
      brush = GetSysColorBrush(COLOR_BTNFACE);
      back = GetSysColor(COLOR_BTNFACE);
    }
  }
  SetTextColor(dc, text);
  SetBkColor(dc, back);
  SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(brush);
}

LRESULT Win32Peer::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      // The close box asks the runtime; the window goes when it says so.
      session_.request_close(window_);
      return 0;
    case WM_ERASEBKGND: {
      RECT r{};
      GetClientRect(hwnd_, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, window_brush_.h);
      return 1;
    }
    case WM_CTLCOLORSTATIC: return colour(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), false);
    case WM_CTLCOLORBTN: return colour(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), true);
    case WM_CTLCOLORLISTBOX: {
      Control* c = find(reinterpret_cast<HWND>(lp));
      if (!c) break;
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, c->text_colour() ? to_colorref(*c->text_colour()) : GetSysColor(COLOR_WINDOWTEXT));
      NativeControl& n = controls_[c];
      if (n.has_back) {
        SetBkColor(dc, n.back_rgb);
        return reinterpret_cast<LRESULT>(n.back.h);
      }
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_SETCURSOR:
      if (backend_.ui.pointer() == Pointer::HourGlass) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_COMMAND: {
      HWND child = reinterpret_cast<HWND>(lp);
      if (!child || HIWORD(wp) != BN_CLICKED) break;
      Control* c = find(child);
      if (!c || c->kind() == ControlKind::GroupBox) break;
      if (!session_.user_click(*c) && c->kind() == ControlKind::CheckBox && native(*c)) {
        // The click was refused: the box shows the tick it has.
        ControlChanged(*c);
      }
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

Win32Backend::Win32Backend() : impl_(std::make_unique<Impl>()) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = window_proc;
  wc.hInstance = impl_->instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = kWindowClass;
  wc.hIcon = static_cast<HICON>(
      LoadImageW(impl_->instance, kDatabaseIconResource, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  RegisterClassExW(&wc);

  WNDCLASSEXW qc{};
  qc.cbSize = sizeof qc;
  qc.lpfnWndProc = queue_proc;
  qc.hInstance = impl_->instance;
  qc.lpszClassName = kQueueClass;
  RegisterClassExW(&qc);
  // A message-only window receives the posted events.
  impl_->queue = CreateWindowExW(0, kQueueClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, impl_->instance, nullptr);
  SetWindowLongPtrW(impl_->queue, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl_.get()));
}

Win32Backend::~Win32Backend() {
  if (impl_->queue) {
    SetWindowLongPtrW(impl_->queue, GWLP_USERDATA, 0);
    DestroyWindow(impl_->queue);
  }
}

void* Win32Backend::native_window(const Window& w) const {
  auto it = impl_->by_window.find(&w);
  return it == impl_->by_window.end() ? nullptr : it->second->hwnd();
}

void* Win32Backend::native_control(const Control& c) const {
  if (!c.parent()) return nullptr;
  auto it = impl_->by_window.find(c.parent());
  return it == impl_->by_window.end() ? nullptr : it->second->native(c);
}

std::unique_ptr<WindowPeer> Win32Backend::CreatePeer(Window& w, Session& session) {
  return std::make_unique<Win32Peer>(w, session, *impl_);
}

void Win32Backend::Post(std::function<void()> fn) {
  impl_->posted.push_back(std::move(fn));
  PostMessageW(impl_->queue, kRunPosted, 0, 0);
}

void Win32Backend::Run() {
  if (impl_->quit_requested) return;
  impl_->in_loop = true;
  MSG m;
  while (!impl_->quit_requested && GetMessageW(&m, nullptr, 0, 0) > 0) {
    HWND root = m.hwnd ? GetAncestor(m.hwnd, GA_ROOT) : nullptr;
    auto it = root ? impl_->peers.find(root) : impl_->peers.end();
    if (it != impl_->peers.end()) {
      if (m.message == WM_KEYDOWN && m.wParam == VK_TAB) {
        if (it->second->TabKey(GetKeyState(VK_SHIFT) < 0)) continue;
      }
      // Alt+letter accelerators, Enter and Escape of the window's controls.
      if (IsDialogMessageW(root, &m)) continue;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  impl_->in_loop = false;
}

void Win32Backend::Quit() {
  impl_->quit_requested = true;
  if (impl_->in_loop) PostMessageW(impl_->queue, WM_NULL, 0, 0);
}

UiServices& Win32Backend::Ui() { return impl_->ui; }

int Win32Ui::MessageBox(const std::string& title, const std::string& text, Icon icon, Buttons buttons) {
  UINT flags = MB_TASKMODAL | MB_SETFOREGROUND;
  switch (icon) {
    case Icon::Information: flags |= MB_ICONINFORMATION; break;
    case Icon::StopSign: flags |= MB_ICONSTOP; break;
    case Icon::Exclamation: flags |= MB_ICONEXCLAMATION; break;
    case Icon::Question: flags |= MB_ICONQUESTION; break;
    case Icon::None: break;
  }
  // The buttons in the order whose position is the box's result.
  std::vector<int> order;
  switch (buttons) {
    case Buttons::Ok: flags |= MB_OK; order = {IDOK}; break;
    case Buttons::OkCancel: flags |= MB_OKCANCEL; order = {IDOK, IDCANCEL}; break;
    case Buttons::YesNo: flags |= MB_YESNO; order = {IDYES, IDNO}; break;
    case Buttons::YesNoCancel: flags |= MB_YESNOCANCEL; order = {IDYES, IDNO, IDCANCEL}; break;
    case Buttons::RetryCancel: flags |= MB_RETRYCANCEL; order = {IDRETRY, IDCANCEL}; break;
    case Buttons::AbortRetryIgnore: flags |= MB_ABORTRETRYIGNORE; order = {IDABORT, IDRETRY, IDIGNORE}; break;
  }
  HWND owner = GetActiveWindow();
  int answer = MessageBoxW(owner, to_wide(text).c_str(), to_wide(title).c_str(), flags);
  for (std::size_t i = 0; i < order.size(); ++i)
    if (answer == order[i]) return static_cast<int>(i) + 1;
  return static_cast<int>(order.size());
}

void Win32Ui::Beep() { MessageBeep(MB_OK); }

Pointer Win32Ui::SetPointer(Pointer p) {
  Pointer old = pointer_;
  pointer_ = p;
  SetCursor(LoadCursorA(nullptr, p == Pointer::HourGlass ? IDC_WAIT : IDC_ARROW));
  return old;
}

}  // namespace rt
