#include "rt/window/session.h"

#include <algorithm>

#include "rt/env.h"
#include "rt/error.h"

namespace rt {

namespace {
Session*& current_session() {
  static Session* s = nullptr;
  return s;
}
}  // namespace

Session::Session(Application& app, WindowBackend& backend, SessionOptions options)
    : app_(app), backend_(backend), options_(std::move(options)), ui_(&backend.Ui()),
      previous_(current_session()) {
  current_session() = this;
}

Session::~Session() {
  end();
  if (current_session() == this) current_session() = previous_;
}

Session* Session::current() { return current_session(); }

Application* get_application() {
  Session* s = Session::current();
  return s ? &s->application() : nullptr;
}

ULong handle(const Application* app) {
  Session* s = Session::current();
  if (!app || !s || &s->application() != app) return null;
  return s->module_handle();
}

void Session::start(const String& commandline) {
  if (started_) return;
  started_ = true;
  run_event([&] { app_.create(); });
  run_event([&] { app_.open(commandline); });
  if (open_.empty()) end();
}

void Session::run() {
  if (!started_) return;
  if (!ended_) backend_.Run();
  end();
}

void Session::end() {
  if (ended_ || ending_) return;
  ending_ = true;
  std::vector<Window*> still_open = open_;
  for (Window* w : still_open) close_now(*w, true);
  if (started_) {
    run_event([&] { app_.close(); });
    run_event([&] { app_.destroy(); });
  }
  ended_ = true;
  backend_.Quit();
}

bool Session::open(Window& w) {
  if (w.is_open() || ended_ || ending_) return false;
  w.open_serial_ = next_serial_++;
  w.close_pending_ = false;
  open_.push_back(&w);
  // Opening makes the window: its create event makes the controls.
  dispatch(&w, [&] { w.create(); });
  if (!w.is_open()) return false;
  auto peer = backend_.CreatePeer(w, *this);
  w.peer_ = peer.get();
  peers_.push_back(std::move(peer));
  dispatch(&w, [&] { w.open(); });
  if (w.is_open() && w.peer_) w.peer_->Show();
  return true;
}

Window* Session::find_open(unsigned long serial) const {
  for (Window* w : open_)
    if (w->open_serial_ == serial) return w;
  return nullptr;
}

void Session::post_to_open(Window& w, std::function<void(Window&)> fn) {
  if (!w.is_open()) return;
  unsigned long serial = w.open_serial_;
  std::weak_ptr<bool> alive = alive_;
  backend_.Post([this, alive, serial, fn = std::move(fn)] {
    if (alive.expired()) return;
    if (Window* target = find_open(serial)) fn(*target);
  });
}

void Session::request_close(Window& w) {
  post_to_open(w, [this](Window& target) { close_now(target); });
}

void Session::post(Window& w, std::function<void()> fn) {
  post_to_open(w, [this, fn = std::move(fn)](Window& target) { dispatch(&target, fn); });
}

bool Session::dispatch(Window* w, const std::function<void()>& fn) {
  if (w) ++w->busy_;
  bool ok = run_event(fn);
  if (w) {
    --w->busy_;
    // A close asked for while a handler of the window was running waits
    // until the outermost handler has returned.
    if (w->busy_ == 0 && w->close_pending_) {
      w->close_pending_ = false;
      close_now(*w);
    }
  }
  return ok;
}

bool Session::user_click(Control& c) {
  Window* w = c.parent();
  if (!w || !w->is_open() || ended_ || !c.visible() || !c.enabled()) return false;
  if (c.kind() == ControlKind::CheckBox) {
    auto& box = static_cast<CheckBox&>(c);
    box.set_checked(!box.checked());
  }
  if (c.clicked) dispatch(w, [&c] { c.trigger_clicked(); });
  return true;
}

void Session::drop_peer(Window& w) {
  if (!w.peer_) return;
  WindowPeer* p = w.peer_;
  w.peer_ = nullptr;
  p->Close();
  peers_.erase(std::remove_if(peers_.begin(), peers_.end(), [p](const auto& q) { return q.get() == p; }),
               peers_.end());
}

void Session::close_now(Window& w, bool force) {
  if (!w.is_open()) return;
  if (w.busy_ > 0 && !force) {
    w.close_pending_ = true;
    return;
  }
  ++w.busy_;
  run_event([&] { w.close(); });
  --w.busy_;
  open_.erase(std::remove(open_.begin(), open_.end(), &w), open_.end());
  w.open_serial_ = 0;
  w.close_pending_ = false;
  drop_peer(w);
  run_event([&] { w.destroy(); });
  if (open_.empty() && started_) end();
}

void Session::forget(Window& w) {
  open_.erase(std::remove(open_.begin(), open_.end(), &w), open_.end());
  w.open_serial_ = 0;
  drop_peer(w);
}

Int close(Window& w) {
  Session* s = Session::current();
  if (!s || !w.is_open()) return -1;
  s->request_close(w);
  return 1;
}

void post_event(Window& w, std::function<void()> fn) {
  if (Session* s = Session::current()) s->post(w, std::move(fn));
}

int run_application(Application& app, WindowBackend& backend, const std::string& commandline,
                    SessionOptions options) {
  Session session(app, backend, std::move(options));
  session.start(commandline);
  session.run();
  return 0;
}

std::string command_line_text(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return Env::Default()->Utf8ToAnsi(text);
}

}  // namespace rt
