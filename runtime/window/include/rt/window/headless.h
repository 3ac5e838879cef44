// A window backend without a display, for tests: posted events wait in a
// queue until the test processes them, clicks and the close box are
// actions of the test, and message boxes, beeps and pointer changes are
// recorded (the box answers OK at once).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "rt/testing/recording_ui.h"
#include "rt/window/session.h"

namespace rt {

class HeadlessBackend : public WindowBackend {
 public:
  // What the native side of a window went through.
  struct PeerState {
    bool shown = false;
    bool centered = false;  // placed in the middle of the screen when shown
    bool closed = false;
    int window_updates = 0;
    int control_updates = 0;
  };

  HeadlessBackend() = default;
  ~HeadlessBackend() override;

  RecordingUi& recorder() { return ui_; }

  // Runs the queued events in order, including those they post, until the
  // queue is empty or the loop was told to quit. Returns how many ran.
  int process_events();
  std::size_t pending() const { return queue_.size(); }

  // The user clicks a control: the queue is processed before and after the
  // click. False when the click was ignored (hidden, disabled, window not
  // open, no run).
  bool click(Control& c);
  // The user presses Alt and a letter in window w: the first visible,
  // enabled button or check box with that accelerator is clicked.
  bool press_accelerator(Window& w, char letter);
  // The user presses the close box of w (the queue is processed before and
  // after).
  void press_close_box(Window& w);

  // The peer state of a window that has been opened (null if never).
  const PeerState* peer_state(const Window& w) const;
  bool quit_requested() const { return quit_; }

  std::unique_ptr<WindowPeer> CreatePeer(Window& w, Session& session) override;
  void Post(std::function<void()> fn) override;
  // Processes events until the loop is told to quit or nothing is left.
  void Run() override;
  void Quit() override { quit_ = true; }
  UiServices& Ui() override { return ui_; }

 private:
  class Peer;
  RecordingUi ui_;
  std::deque<std::function<void()>> queue_;
  std::map<const Window*, std::shared_ptr<PeerState>> states_;
  bool quit_ = false;
};

}  // namespace rt
