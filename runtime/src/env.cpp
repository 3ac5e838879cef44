#include "rt/env.h"

namespace rt {

namespace {
Env*& override_env() {
  static Env* e = nullptr;
  return e;
}

class ForwardingAnsiDecoder : public AnsiDecoder {
 public:
  explicit ForwardingAnsiDecoder(Env* env) : env_(env) {}
  std::u16string Decode(std::string_view ansi) override { return env_->AnsiToUtf16(std::string(ansi)); }

 private:
  Env* env_;
};
}  // namespace

void Env::AdviseLargeBuffer(void*, std::size_t) {}

std::unique_ptr<AnsiDecoder> Env::NewAnsiDecoder() { return std::make_unique<ForwardingAnsiDecoder>(this); }

Env* Env::Default() { return override_env() ? override_env() : PlatformEnv(); }
void Env::SetDefault(Env* env) { override_env() = env; }

}  // namespace rt
