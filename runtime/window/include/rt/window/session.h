// One run of an application on a window backend, and the runtime functions
// that windows call: open, close, post an event.
//
// Every event runs through rt::run_event, so a runtime error ends the event
// in which it happens and nothing else. Events run one after another on the
// one user-interface thread: a posted event runs after the event that posted
// it has returned, in the order of posting.
//
// A backend supplies the native side: one peer per open window, the queue
// of posted events, the event loop and the user-interface services (message
// boxes, beep, pointer).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "rt/text.h"
#include "rt/ui.h"
#include "rt/value.h"
#include "rt/window/application.h"
#include "rt/window/window.h"

namespace rt {

// The native side of one open window.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  // Makes the window and its controls visible (placed centred when the
  // window asks for it).
  virtual void Show() = 0;
  // A property of the window changed.
  virtual void WindowChanged() = 0;
  // A property of one of its controls changed.
  virtual void ControlChanged(Control& c) = 0;
  // The control is about to be destroyed.
  virtual void ControlRemoved(Control& c) = 0;
  // The window has closed: the native window goes away. The peer is
  // deleted right after.
  virtual void Close() = 0;
};

class WindowBackend {
 public:
  virtual ~WindowBackend() = default;
  virtual std::unique_ptr<WindowPeer> CreatePeer(Window& w, Session& session) = 0;
  // Queues fn to run on the user-interface thread after the current event.
  virtual void Post(std::function<void()> fn) = 0;
  // Runs the event loop until Quit (returns at once when Quit came first).
  virtual void Run() = 0;
  virtual void Quit() = 0;
  virtual UiServices& Ui() = 0;
};

struct SessionOptions {
  // What handle() reports for the application: 0 inside the development
  // environment, nonzero for a built program, NULL when unknown.
  ULong module_handle = kProgramModuleHandle;
};

class Session {
 public:
  // Installs the backend's user-interface services and makes this the
  // current run until it is destroyed.
  Session(Application& app, WindowBackend& backend, SessionOptions options = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  static Session* current();

  Application& application() const { return app_; }
  WindowBackend& backend() const { return backend_; }
  const ULong& module_handle() const { return options_.module_handle; }

  // The application's create and open events. A run without an open
  // window after them ends at once.
  void start(const String& commandline);
  // Runs the backend's event loop until the application has ended.
  void run();
  // Closes every open window, then fires the application's close and
  // destroy events and stops the loop. Runs once; later calls do nothing.
  void end();
  bool started() const { return started_; }
  bool ended() const { return ended_; }

  // Opens a window: its create event, its native side, its open event, and
  // it is shown. False when it is open already.
  bool open(Window& w);
  // Asks the window to close: it closes after the current event.
  void request_close(Window& w);
  // Queues fn as an event of w; it is dropped when w has closed by then.
  void post(Window& w, std::function<void()> fn);
  // A click of the user on a control: ignored (false) when the control is
  // hidden or disabled or its window is not open. A check box changes its
  // tick first; then the control's clicked event runs.
  bool user_click(Control& c);
  // Runs one handler of window w as an event (busy guard and run_event).
  bool dispatch(Window* w, const std::function<void()>& fn);

 private:
  friend class Window;
  void close_now(Window& w, bool force = false);
  // A window object deleted while open leaves the run without its events.
  void forget(Window& w);
  Window* find_open(unsigned long serial) const;
  // Queues fn for w as it is open now: dropped when, by the time it comes
  // up, the run is gone or that opening of w has closed.
  void post_to_open(Window& w, std::function<void(Window&)> fn);
  void drop_peer(Window& w);

  Application& app_;
  WindowBackend& backend_;
  SessionOptions options_;
  ScopedUi ui_;
  Session* previous_;
  std::vector<Window*> open_;
  std::vector<std::unique_ptr<WindowPeer>> peers_;
  unsigned long next_serial_ = 1;
  bool started_ = false, ended_ = false, ending_ = false;
  // Events still queued in the backend when the run is gone are dropped:
  // they hold this only weakly.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Opens the window held by var, creating it first when var holds none.
// Returns 1, or -1 when there is no run or the window is open already.
template <class T>
Int open(Ref<T>& var) {
  Session* s = Session::current();
  if (!s) return Int(-1);
  if (!var) {
    if constexpr (std::is_default_constructible_v<T>) {
      var = rt::create<T>();
    } else {
      return Int(-1);
    }
  }
  return s->open(*var) ? Int(1) : Int(-1);
}
// Closes a window after the current event. Returns 1, or -1 when it is
// not open.
Int close(Window& w);
// Posts a user event to a window: fn runs after the current event.
void post_event(Window& w, std::function<void()> fn);

// A whole run: start with the command-line text, the event loop, the end.
// Returns the exit code (0).
int run_application(Application& app, WindowBackend& backend, const std::string& commandline,
                    SessionOptions options = {});

// The command-line text of a program: its arguments after the program
// name, joined by blanks, converted to GBK.
std::string command_line_text(int argc, const char* const* argv);

}  // namespace rt
