// POSIX backend. It gives the library the Windows file behaviour it is
// written for:
// - sharing: every open takes a shared flock, and a rename or delete takes an
//   exclusive one, so a file held open by any user of the library can't be
//   renamed or deleted (the refusal is reported as access denied);
// - read-only: a file with no write permission bit is read-only; deleting it
//   is refused whoever the caller is, and clearing it gives the owner write
//   permission back;
// - the environment: copied once when the library is loaded, and searched
//   without regard to case.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"

// <unistd.h> declares it on some systems only (glibc with _GNU_SOURCE).
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace pwlevel::platform {
namespace {

// The process environment as it was when the library was loaded (a static
// initialiser runs at dlopen and at program start).
class EnvironmentCopy {
 public:
  // Each entry is split at its '=' once, here, rather than at every look-up.
  EnvironmentCopy() {
    for (char** entry = environ; entry != nullptr && *entry != nullptr;
         ++entry) {
      const std::string_view text(*entry);
      const std::size_t equals = text.find('=');
      if (equals != std::string_view::npos) {
        entries_.emplace_back(text.substr(0, equals), text.substr(equals + 1));
      }
    }
  }

  [[nodiscard]] std::optional<std::string> Find(std::string_view name) const {
    const auto found = std::find_if(
        entries_.begin(), entries_.end(),
        [&](const auto& entry) { return SameIgnoringCase(entry.first, name); });
    if (found == entries_.end()) {
      return std::nullopt;
    }
    return found->second;
  }

 private:
  static bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
      return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (ToUpper(a[i]) != ToUpper(b[i])) {
        return false;
      }
    }
    return true;
  }
  static char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }

  // Name and value of each variable.
  std::vector<std::pair<std::string, std::string>> entries_;
};

const EnvironmentCopy g_environment_at_load;

Status FromErrno(int code) {
  switch (code) {
    case 0:
      return Status::Ok();
    case ENOENT:
    case ENOTDIR:
      return {Error::not_found, code};
    case EACCES:
    case EPERM:
    case EROFS:
    case EWOULDBLOCK:  // the flock of another holder: a sharing violation
      return {Error::access_denied, code};
    case EEXIST:
      return {Error::already_exists, code};
    default:
      return {Error::failed, code};
  }
}

Status LastError() { return FromErrno(errno); }

bool IsReadOnly(mode_t mode) {
  return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Takes a flock without waiting for other holders, but gives a lock that is
// being released a moment: the lock of a descriptor that was just closed
// can outlive the close() briefly while something else still holds a
// reference to the open file (seen here as a change refused about once in
// a million, by its own just-closed descriptor). A holder that keeps the
// file open is still refused, a millisecond later.
int FlockPatiently(int fd, int operation) {
  constexpr int kAttempts = 10;
  constexpr std::chrono::microseconds kPause{100};
  int result = ::flock(fd, operation | LOCK_NB);
  for (int attempt = 1;
       attempt < kAttempts && result != 0 && errno == EWOULDBLOCK; ++attempt) {
    std::this_thread::sleep_for(kPause);
    result = ::flock(fd, operation | LOCK_NB);
  }
  return result;
}

// An exclusive flock held across a rename or delete of `path`: refused while
// any user of the library holds the file open.
class ExclusiveHold {
 public:
  explicit ExclusiveHold(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)) {
    if (fd_ < 0) {
      status_ = LastError();
      // A symbolic link can't be opened to lock it; rename or delete the
      // link itself, as the system does.
      if (errno == ELOOP) {
        status_ = Status::Ok();
      }
    } else if (FlockPatiently(fd_, LOCK_EX) != 0) {
      status_ = LastError();
    } else {
      status_ = StillNamed(path);
    }
  }
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
  ~ExclusiveHold() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  [[nodiscard]] Status status() const { return status_; }

 private:
  // The name is opened first and locked after, perhaps after a wait: by
  // then another user of the library may have moved the file away and put
  // another under the name. The lock counts only while `path` still names
  // the file locked; otherwise the rename or delete is refused like any
  // other that meets a file in use.
  [[nodiscard]] Status StillNamed(const std::string& path) const {
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd_, &locked) != 0 || ::lstat(path.c_str(), &named) != 0) {
      return LastError();
    }
    if (locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
      return {Error::access_denied, EWOULDBLOCK};
    }
    return Status::Ok();
  }

  int fd_;
  Status status_;
};

// Opens `path` with `flags` and takes the shared flock every open holds.
Status OpenShared(const std::string& path, int flags, mode_t mode,
                  FileHandle& file) {
  file = kNoFile;
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  if (fd < 0) {
    return LastError();
  }
  if (FlockPatiently(fd, LOCK_SH) != 0) {
    const Status refused = LastError();
    ::close(fd);
    return refused;
  }
  file = fd;
  return Status::Ok();
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

Status RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                  RENAME_NOREPLACE) == 0) {
    return Status::Ok();
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    return LastError();
  }
  // The file system can't rename without replacing: a hard link fails when
  // the target exists, just the same.
  if (::link(from.c_str(), to.c_str()) != 0) {
    return LastError();
  }
  if (::unlink(from.c_str()) != 0) {
    const Status failed = LastError();
    ::unlink(to.c_str());
    return failed;
  }
  return Status::Ok();
}

class PosixPlatform final : public Platform {
 public:
  std::optional<std::string> GetEnv(std::string_view name) override {
    return g_environment_at_load.Find(name);
  }

  std::string DefaultPathToNative(std::string_view path) override {
    std::string native(path);
    const bool has_drive = native.size() >= 2 && native[1] == ':' &&
                           ((native[0] >= 'A' && native[0] <= 'Z') ||
                            (native[0] >= 'a' && native[0] <= 'z'));
    if (has_drive) {
      native.erase(0, 2);
    }
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
  }

  Status OpenRead(const std::string& path, FileHandle& file) override {
    return OpenShared(path, O_RDONLY, 0, file);
  }

  Status CreateNew(const std::string& path, FileHandle& file) override {
    return OpenShared(path, O_WRONLY | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR,
                      file);
  }

  Status Read(FileHandle file, char* buffer, std::size_t size,
              std::size_t& got) override {
    got = 0;
    for (;;) {
      const ssize_t n = ::read(static_cast<int>(file), buffer, size);
      if (n >= 0) {
        got = static_cast<std::size_t>(n);
        return Status::Ok();
      }
      if (errno != EINTR) {
        return LastError();
      }
    }
  }

  Status Write(FileHandle file, const char* data, std::size_t size) override {
    while (size > 0) {
      const ssize_t n = ::write(static_cast<int>(file), data, size);
      if (n < 0) {
        if (errno == EINTR) {
          continue;
        }
        return LastError();
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return Status::Ok();
  }

  Status Sync(FileHandle file) override {
    return ::fsync(static_cast<int>(file)) == 0 ? Status::Ok() : LastError();
  }

  Status CopyAccess(FileHandle from, FileHandle to) override {
    struct stat old {};
    if (::fstat(static_cast<int>(from), &old) != 0) {
      return LastError();
    }
    mode_t mode = (old.st_mode & 0777) | S_IWUSR;
    // Owner and group go along where the process may set them. Where the
    // group can't be kept, nobody in the new group gets the old group's
    // rights: the new file is never open to more users than the old one.
    if (::fchown(static_cast<int>(to), old.st_uid, old.st_gid) != 0 &&
        ::fchown(static_cast<int>(to), static_cast<uid_t>(-1), old.st_gid) !=
            0) {
      struct stat now {};
      if (::fstat(static_cast<int>(to), &now) != 0) {
        return LastError();
      }
      if (now.st_gid != old.st_gid) {
        mode &= ~static_cast<mode_t>(S_IRWXG);
      }
    }
    return ::fchmod(static_cast<int>(to), mode) == 0 ? Status::Ok()
                                                     : LastError();
  }

  Status Close(FileHandle file) override {
    // The descriptor is gone whatever close() answers; EINTR is no failure
    // of the data on Linux.
    if (::close(static_cast<int>(file)) != 0 && errno != EINTR) {
      return LastError();
    }
    return Status::Ok();
  }

  Status Probe(const std::string& path) override {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? Status::Ok() : LastError();
  }

  Status Rename(const std::string& from, const std::string& to) override {
    const ExclusiveHold hold(from);
    if (!hold.status().ok()) {
      return hold.status();
    }
    return RenameNoReplace(from, to);
  }

  Status Remove(const std::string& path) override {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      return LastError();
    }
    if (S_ISREG(info.st_mode) && IsReadOnly(info.st_mode)) {
      return {Error::access_denied, EACCES};
    }
    const ExclusiveHold hold(path);
    if (!hold.status().ok()) {
      return hold.status();
    }
    return ::unlink(path.c_str()) == 0 ? Status::Ok() : LastError();
  }

  Status ClearReadOnly(const std::string& path) override {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      return LastError();
    }
    if (!IsReadOnly(info.st_mode)) {
      return Status::Ok();
    }
    return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0
               ? Status::Ok()
               : LastError();
  }

  Status ListDirectoryOf(const std::string& path,
                         std::vector<std::string>& names) override {
    names.clear();
    DIR* directory = ::opendir(DirectoryOf(path).c_str());
    if (directory == nullptr) {
      return LastError();
    }
    errno = 0;
    while (const dirent* entry = ::readdir(directory)) {
      names.emplace_back(entry->d_name);
    }
    const Status status = FromErrno(errno);
    ::closedir(directory);
    return status;
  }

  Status SyncDirectoryOf(const std::string& path) override {
    const int fd =
        ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      return LastError();
    }
    Status status = Status::Ok();
    if (::fsync(fd) != 0 && errno != EINVAL) {
      status = LastError();
    }
    ::close(fd);
    return status;
  }

  void Pause(std::chrono::milliseconds how_long) override {
    std::this_thread::sleep_for(how_long);
  }

  std::string Describe(Status status) override {
    if (status.ok()) {
      return "no error";
    }
    return std::strerror(static_cast<int>(status.native));
  }
};

}  // namespace

Platform& NativePlatform() {
  static PosixPlatform native;
  return native;
}

}  // namespace pwlevel::platform
