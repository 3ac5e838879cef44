#include "support/recording_env.h"

namespace upgrade_test {

namespace {

class RecordingFile : public rt::File {
 public:
  RecordingFile(RecordingEnv* env, std::string path, std::unique_ptr<rt::File> f)
      : env_(env), path_(std::move(path)), f_(std::move(f)) {}
  std::int64_t Read(char* buf, std::size_t n) override {
    std::int64_t r = f_->Read(buf, n);
    if (r > 0) env_->reads.push_back({path_, static_cast<std::size_t>(r)});
    return r;
  }
  bool Write(const char* buf, std::size_t n) override {
    if (env_->fail_write && env_->fail_write(path_, n)) return false;
    env_->writes.push_back({path_, n});
    return f_->Write(buf, n);
  }
  bool Close() override {
    env_->closes.push_back(path_);
    return f_->Close();
  }

 private:
  RecordingEnv* env_;
  std::string path_;
  std::unique_ptr<rt::File> f_;
};

bool ends_with(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

RecordingEnv::RecordingEnv() : EnvWrapper(rt::PlatformEnv()), previous_(rt::Env::Default()) { rt::Env::SetDefault(this); }
RecordingEnv::~RecordingEnv() { rt::Env::SetDefault(previous_ == rt::PlatformEnv() ? nullptr : previous_); }

std::unique_ptr<rt::File> RecordingEnv::Open(const std::string& path, const rt::OpenOptions& options) {
  if (fail_open && fail_open(path)) return nullptr;
  std::unique_ptr<rt::File> f = target()->Open(path, options);
  if (!f) return nullptr;
  opens.push_back(path);
  return std::make_unique<RecordingFile>(this, path, std::move(f));
}

bool RecordingEnv::RenameFile(const std::string& from, const std::string& to) {
  renames.emplace_back(from, to);
  if (fail_rename) return false;
  return target()->RenameFile(from, to);
}

std::vector<std::size_t> RecordingEnv::write_sizes(const std::string& suffix) const {
  std::vector<std::size_t> r;
  for (const auto& w : writes)
    if (ends_with(w.path, suffix)) r.push_back(w.bytes);
  return r;
}

}  // namespace upgrade_test
