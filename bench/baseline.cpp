#include "baseline.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace pwlevel::bench {
namespace {

constexpr std::size_t kBufferSize = 8192;
constexpr std::size_t kLineSize = 256;

// Hands out the lines of an open file, as fgets would.
class Lines {
 public:
  explicit Lines(int fd) : fd_(fd) {}

  // Copies the next line (cut at kLineSize - 1 characters) into `line`.
  // False at the end of the file or when a read fails.
  bool Next(std::array<char, kLineSize>& line) {
    std::size_t length = 0;
    for (;;) {
      if (begin_ == end_) {
        const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
        if (got <= 0) {
          line[length] = '\0';
          return length > 0;
        }
        begin_ = 0;
        end_ = static_cast<std::size_t>(got);
      }
      const char* from = buffer_.data() + begin_;
      const auto* newline =
          static_cast<const char*>(std::memchr(from, '\n', end_ - begin_));
      const std::size_t taken =
          newline != nullptr ? static_cast<std::size_t>(newline - from) + 1
                             : end_ - begin_;
      const std::size_t kept = std::min(taken, kLineSize - 1 - length);
      std::memcpy(line.data() + length, from, kept);
      length += kept;
      begin_ += taken;
      if (newline != nullptr) {
        line[length] = '\0';
        return true;
      }
    }
  }

 private:
  int fd_;
  std::array<char, kBufferSize> buffer_{};
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

bool CopyFile(int from, int to) {
  std::array<char, kBufferSize> buffer{};
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got == 0) {
      return true;
    }
    if (got < 0 ||
        ::write(to, buffer.data(), static_cast<std::size_t>(got)) != got) {
      return false;
    }
  }
}

bool ReadToRecord(const char* path, bool locked) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  if (locked && ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  Lines lines(fd);
  std::array<char, kLineSize> line{};
  bool found = false;
  while (!found && lines.Next(line)) {
    found = std::strncmp(line.data(), "Passwd=", 7) == 0;
  }
  ::close(fd);
  return found;
}

}  // namespace

bool BaselineVerify(const char* path) { return ReadToRecord(path, false); }

bool BaselineVerifyLocked(const char* path) { return ReadToRecord(path, true); }

bool BaselineChange(const PwPaths& paths) {
  if (std::rename(paths.file.c_str(), paths.backup.c_str()) != 0) {
    return false;
  }
  const int from = ::open(paths.backup.c_str(), O_RDONLY | O_CLOEXEC);
  const int to = ::open(paths.temporary.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool ok = from >= 0 && to >= 0 && CopyFile(from, to) && ::fsync(to) == 0;
  ok = (to < 0 || ::close(to) == 0) && ok;
  if (from >= 0) {
    ::close(from);
  }
  ok = ok && std::rename(paths.temporary.c_str(), paths.file.c_str()) == 0;
  const int directory =
      ::open(paths.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ok = ok && directory >= 0 && ::fsync(directory) == 0;
  if (directory >= 0) {
    ::close(directory);
  }
  return ok;
}

}  // namespace pwlevel::bench
