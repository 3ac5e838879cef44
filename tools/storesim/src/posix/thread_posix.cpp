#include <pthread.h>

#include <cstring>
#include <utility>

#include "thread.h"

namespace storesim::sys {

struct Thread::Handle {
  pthread_t id;
};

namespace {

void* Trampoline(void* arg) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
  (*body)();
  return nullptr;
}

}  // namespace

Thread::Thread() = default;

Thread::~Thread() { Join(); }

bool Thread::Start(std::size_t stack_bytes, std::function<void()> body, std::string* error) {
  if (handle_) {
    if (error) *error = "already started";
    return false;
  }
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  int rc = pthread_attr_setstacksize(&attr, stack_bytes);
  auto arg = std::make_unique<std::function<void()>>(std::move(body));
  pthread_t id;
  if (rc == 0) rc = pthread_create(&id, &attr, Trampoline, arg.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    if (error) *error = std::strerror(rc);
    return false;
  }
  arg.release();  // the thread owns it now
  handle_ = std::make_unique<Handle>(Handle{id});
  return true;
}

void Thread::Join() {
  if (!handle_) return;
  pthread_join(handle_->id, nullptr);
  handle_.reset();
}

}  // namespace storesim::sys
