#include "rt/window/headless.h"

namespace rt {

class HeadlessBackend::Peer : public WindowPeer {
 public:
  Peer(Window& w, std::shared_ptr<PeerState> state) : window_(w), state_(std::move(state)) {}
  void Show() override {
    state_->shown = true;
    state_->centered = window_.centered();
  }
  void WindowChanged() override { ++state_->window_updates; }
  void ControlChanged(Control&) override { ++state_->control_updates; }
  void ControlRemoved(Control&) override {}
  void Close() override {
    state_->shown = false;
    state_->closed = true;
  }

 private:
  Window& window_;
  std::shared_ptr<PeerState> state_;
};

HeadlessBackend::~HeadlessBackend() = default;

std::unique_ptr<WindowPeer> HeadlessBackend::CreatePeer(Window& w, Session&) {
  auto state = std::make_shared<PeerState>();
  states_[&w] = state;
  return std::make_unique<Peer>(w, state);
}

void HeadlessBackend::Post(std::function<void()> fn) { queue_.push_back(std::move(fn)); }

int HeadlessBackend::process_events() {
  int n = 0;
  while (!queue_.empty() && !quit_) {
    std::function<void()> fn = std::move(queue_.front());
    queue_.pop_front();
    fn();
    ++n;
  }
  return n;
}

void HeadlessBackend::Run() { process_events(); }

bool HeadlessBackend::click(Control& c) {
  Session* s = Session::current();
  if (!s) return false;
  // The user acts once the program is idle: what was queued runs first.
  process_events();
  bool done = s->user_click(c);
  process_events();
  return done;
}

bool HeadlessBackend::press_accelerator(Window& w, char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
  for (Control* c : w.control()) {
    if (c->kind() != ControlKind::CommandButton && c->kind() != ControlKind::CheckBox) continue;
    if (!c->visible() || !c->enabled() || c->text().is_null()) continue;
    if (accelerator(*c->text()) == letter) return click(*c);
  }
  return false;
}

void HeadlessBackend::press_close_box(Window& w) {
  process_events();
  if (Session* s = Session::current()) s->request_close(w);
  process_events();
}

const HeadlessBackend::PeerState* HeadlessBackend::peer_state(const Window& w) const {
  auto it = states_.find(&w);
  return it == states_.end() ? nullptr : it->second.get();
}

}  // namespace rt
