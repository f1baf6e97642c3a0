// A platform for tests: it forwards to the real backend, stands in for the
// environment, and makes any chosen step fail.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace pwlevel::testing {

using platform::FileHandle;
using platform::Status;

// The steps a test can make fail.
enum class Step {
  open_read,
  create_new,
  read,
  write,
  sync,
  copy_access,
  close,
  probe,
  rename,
  remove,
  clear_read_only,
  sync_directory,
  list_directory,
  count_
};

const char* StepName(Step step);

class TestPlatform final : public platform::Platform {
 public:
  // PASSWD and friends, as the library will see them. A name not set here is
  // absent.
  void SetEnv(const std::string& name, std::string value) {
    environment_[name] = std::move(value);
  }
  void UnsetEnv(const std::string& name) { environment_.erase(name); }

  // Makes the `nth` call (1-based) of `step` from now on fail with `error`,
  // and the `times` - 1 calls after it too.
  void FailAt(Step step, int nth,
              Status error = {platform::Error::failed, 5 /* EIO */},
              int times = 1);
  int Calls(Step step) const { return calls_[Index(step)]; }
  void ResetCounts() { calls_.fill(0); }

  std::optional<std::string> GetEnv(std::string_view name) override;
  std::string DefaultPathToNative(std::string_view path) override {
    return real().DefaultPathToNative(path);
  }
  Status OpenRead(const std::string& path, FileHandle& file) override;
  Status CreateNew(const std::string& path, FileHandle& file) override;
  Status Read(FileHandle file, char* buffer, std::size_t size,
              std::size_t& got) override;
  Status Write(FileHandle file, const char* data, std::size_t size) override;
  Status Sync(FileHandle file) override;
  Status CopyAccess(FileHandle from, FileHandle to) override;
  Status Close(FileHandle file) override;
  Status Probe(const std::string& path) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Status Remove(const std::string& path) override;
  Status ClearReadOnly(const std::string& path) override;
  Status SyncDirectoryOf(const std::string& path) override;
  Status ListDirectoryOf(const std::string& path,
                         std::vector<std::string>& names) override;
  void Pause(std::chrono::milliseconds how_long) override {
    real().Pause(how_long);
  }
  std::string Describe(Status status) override {
    return real().Describe(status);
  }

 private:
  static platform::Platform& real() { return platform::NativePlatform(); }
  static std::size_t Index(Step step) { return static_cast<std::size_t>(step); }
  // Counts a call of `step`; answers the failure to report, if it is due.
  std::optional<Status> Due(Step step);

  std::map<std::string, std::string> environment_;
  std::array<int, static_cast<std::size_t>(Step::count_)> calls_{};
  std::optional<Step> failing_step_;
  int failing_call_ = 0;
  int failing_times_ = 0;
  Status failure_;
};

}  // namespace pwlevel::testing
