#include "support/test_platform.h"

#include <algorithm>
#include <cctype>

namespace pwlevel::testing {

const char* StepName(Step step) {
  static constexpr std::array<const char*,
                              static_cast<std::size_t>(Step::count_)>
      kNames = {"open_read",
                "create_new",
                "read",
                "write",
                "sync",
                "copy_access",
                "close",
                "probe",
                "rename",
                "remove",
                "clear_read_only",
                "sync_directory",
                "list_directory"};
  return kNames[static_cast<std::size_t>(step)];
}

void TestPlatform::FailAt(Step step, int nth, Status error, int times) {
  failing_step_ = step;
  failing_call_ = calls_[Index(step)] + nth;
  failing_times_ = times;
  failure_ = error;
}

std::optional<Status> TestPlatform::Due(Step step) {
  const int call = ++calls_[Index(step)];
  if (failing_step_ == step && call >= failing_call_ &&
      call < failing_call_ + failing_times_) {
    return failure_;
  }
  return std::nullopt;
}

std::optional<std::string> TestPlatform::GetEnv(std::string_view name) {
  for (const auto& [key, value] : environment_) {
    if (key.size() == name.size() &&
        std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) ==
                 std::toupper(static_cast<unsigned char>(b));
        })) {
      return value;
    }
  }
  return std::nullopt;
}

Status TestPlatform::OpenRead(const std::string& path, FileHandle& file) {
  if (auto failure = Due(Step::open_read)) {
    file = platform::kNoFile;
    return *failure;
  }
  return real().OpenRead(path, file);
}

Status TestPlatform::CreateNew(const std::string& path, FileHandle& file) {
  if (auto failure = Due(Step::create_new)) {
    file = platform::kNoFile;
    return *failure;
  }
  return real().CreateNew(path, file);
}

Status TestPlatform::Read(FileHandle file, char* buffer, std::size_t size,
                          std::size_t& got) {
  if (auto failure = Due(Step::read)) {
    got = 0;
    return *failure;
  }
  return real().Read(file, buffer, size, got);
}

Status TestPlatform::Write(FileHandle file, const char* data,
                           std::size_t size) {
  if (auto failure = Due(Step::write)) {
    return *failure;
  }
  return real().Write(file, data, size);
}

Status TestPlatform::Sync(FileHandle file) {
  if (auto failure = Due(Step::sync)) {
    return *failure;
  }
  return real().Sync(file);
}

Status TestPlatform::CopyAccess(FileHandle from, FileHandle to) {
  if (auto failure = Due(Step::copy_access)) {
    return *failure;
  }
  return real().CopyAccess(from, to);
}

Status TestPlatform::Close(FileHandle file) {
  // The handle is released either way, as a real close does.
  const Status closed = real().Close(file);
  if (auto failure = Due(Step::close)) {
    return *failure;
  }
  return closed;
}

Status TestPlatform::Probe(const std::string& path) {
  if (auto failure = Due(Step::probe)) {
    return *failure;
  }
  return real().Probe(path);
}

Status TestPlatform::Rename(const std::string& from, const std::string& to) {
  if (auto failure = Due(Step::rename)) {
    return *failure;
  }
  return real().Rename(from, to);
}

Status TestPlatform::Remove(const std::string& path) {
  if (auto failure = Due(Step::remove)) {
    return *failure;
  }
  return real().Remove(path);
}

Status TestPlatform::ClearReadOnly(const std::string& path) {
  if (auto failure = Due(Step::clear_read_only)) {
    return *failure;
  }
  return real().ClearReadOnly(path);
}

Status TestPlatform::SyncDirectoryOf(const std::string& path) {
  if (auto failure = Due(Step::sync_directory)) {
    return *failure;
  }
  return real().SyncDirectoryOf(path);
}

}  // namespace pwlevel::testing

namespace pwlevel::testing {

Status TestPlatform::ListDirectoryOf(const std::string& path,
                                     std::vector<std::string>& names) {
  if (auto failure = Due(Step::list_directory)) {
    names.clear();
    return *failure;
  }
  return real().ListDirectoryOf(path, names);
}

}  // namespace pwlevel::testing
