// The one door between the library and the operating system.
//
// Every file, environment and clock call of the library goes through the
// Platform in force, so that tests can put a wrapper in front of the real
// backend and make any single step fail. One backend file per system
// (posix.cpp, win32.cpp) implements it; CMake picks the one to build.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pwlevel::platform {

// The kinds of failure the library tells apart. Each backend maps its native
// error codes onto these once.
enum class Error {
  none,
  not_found,       // no such file, or a directory on the way is missing
  access_denied,   // no permission, read-only, or held open by another user
                   // of the library (a sharing violation)
  already_exists,  // an exclusive create or a rename found its target there
  failed,          // anything else: I/O error, no space, ...
};

struct Status {
  Error error = Error::none;
  std::int64_t native = 0;  // errno or GetLastError(), for messages

  [[nodiscard]] bool ok() const { return error == Error::none; }
  static Status Ok() { return {}; }
};

// An open file of the backend. -1 means none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // Environment, from the copy taken when the library was loaded; the name
  // matches without regard to case.
  virtual std::optional<std::string> GetEnv(std::string_view name) = 0;
  // Turns a path written in the library's default form (a drive path such as
  // "C:\TOOLS\PASSWD") into one this system opens.
  virtual std::string DefaultPathToNative(std::string_view path) = 0;

  // Opens an existing file for reading. The file is shared for reading and
  // writing, but nobody may rename or delete it while it is open.
  virtual Status OpenRead(const std::string& path, FileHandle& file) = 0;
  // Creates a new file for writing, owner-only, failing with already_exists
  // when the name is taken. Shared like OpenRead.
  virtual Status CreateNew(const std::string& path, FileHandle& file) = 0;
  // Reads up to `size` bytes; `got` is 0 at the end of the file.
  virtual Status Read(FileHandle file, char* buffer, std::size_t size,
                      std::size_t& got) = 0;
  // Writes all `size` bytes or fails.
  virtual Status Write(FileHandle file, const char* data, std::size_t size) = 0;
  // Forces what was written to the disk.
  virtual Status Sync(FileHandle file) = 0;
  // Gives `to` the access rights of `from`, made writable by its owner.
  virtual Status CopyAccess(FileHandle from, FileHandle to) = 0;
  virtual Status Close(FileHandle file) = 0;

  // ok when the file exists, not_found when it does not.
  virtual Status Probe(const std::string& path) = 0;
  // Renames a file; fails with already_exists when `to` exists.
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  // Deletes a file; a read-only file is refused as access_denied.
  virtual Status Remove(const std::string& path) = 0;
  virtual Status ClearReadOnly(const std::string& path) = 0;
  // The names of the entries of the directory that holds `path`.
  virtual Status ListDirectoryOf(const std::string& path,
                                 std::vector<std::string>& names) = 0;
  // Forces the directory entry changes around `path` to the disk.
  virtual Status SyncDirectoryOf(const std::string& path) = 0;

  virtual void Pause(std::chrono::milliseconds how_long) = 0;

  // What the system said, for the tool's messages.
  virtual std::string Describe(Status status) = 0;
};

// The backend of this build.
Platform& NativePlatform();

// The platform in force: the native one unless a test has put another in.
Platform& Os();

// Puts `replacement` in force until the returned guard goes (tests only).
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& replacement);
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;
  ~ScopedPlatform();

 private:
  Platform* previous_;
};

}  // namespace pwlevel::platform
