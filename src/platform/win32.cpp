// Windows backend. The system gives the file behaviour the library relies
// on natively:
// - sharing: every open shares reading and writing but not deleting, so
//   while any handle of the library is open, renaming or deleting the file
//   fails with a sharing violation (reported as access denied);
// - read-only: the file attribute; DeleteFileA refuses a read-only file;
// - the environment: copied once when the DLL is loaded (its static
//   initialisers run then), and searched without regard to case.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pwlevel::platform {
namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  const auto upper = [](char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char x, char y) { return upper(x) == upper(y); });
}

// The process environment as it was when the library was loaded.
class EnvironmentCopy {
 public:
  EnvironmentCopy() {
    char* block = GetEnvironmentStringsA();
    if (block == nullptr) {
      return;
    }
    // "NAME=value\0NAME=value\0...\0"
    for (const char* entry = block; *entry != '\0';
         entry += std::strlen(entry) + 1) {
      entries_.emplace_back(entry);
    }
    FreeEnvironmentStringsA(block);
  }

  [[nodiscard]] std::optional<std::string> Find(std::string_view name) const {
    for (const std::string& entry : entries_) {
      // The system keeps per-drive folders under names that begin with '='
      // ("=C:=C:\dir"): the name's own '=' is the first one after that.
      const std::size_t equals = entry.find('=', 1);
      if (equals != std::string::npos &&
          SameIgnoringCase(std::string_view(entry).substr(0, equals), name)) {
        return entry.substr(equals + 1);
      }
    }
    return std::nullopt;
  }

 private:
  std::vector<std::string> entries_;
};

const EnvironmentCopy g_environment_at_load;

Status FromCode(DWORD code) {
  const auto native = static_cast<std::int64_t>(code);
  switch (code) {
    case ERROR_SUCCESS:
      return Status::Ok();
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {Error::not_found, native};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return {Error::access_denied, native};
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return {Error::already_exists, native};
    default:
      return {Error::failed, native};
  }
}

Status LastError() { return FromCode(GetLastError()); }

Status OkOrLastError(BOOL succeeded) {
  return succeeded != FALSE ? Status::Ok() : LastError();
}

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// Everyone may read and write the file beside us; nobody may rename or
// delete it while we hold it.
constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;

Status Open(const std::string& path, DWORD access, DWORD disposition,
            FileHandle& file) {
  const HANDLE handle =
      CreateFileA(path.c_str(), access, kShareMode, nullptr, disposition,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    file = kNoFile;
    return LastError();
  }
  file = reinterpret_cast<FileHandle>(handle);
  return Status::Ok();
}

// The pattern that lists the folder holding `path`: its folder part, or the
// current folder (of its drive, for "C:name").
std::string FolderPatternOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator != std::string::npos) {
    return path.substr(0, separator + 1) + "*";
  }
  if (path.size() >= 2 && path[1] == ':') {
    return path.substr(0, 2) + "*";
  }
  return "*";
}

// ReadFile and WriteFile take 32-bit sizes.
DWORD Chunk(std::size_t size) {
  constexpr std::size_t kLargest = 1U << 30U;
  return static_cast<DWORD>(std::min(size, kLargest));
}

class Win32Platform final : public Platform {
 public:
  std::optional<std::string> GetEnv(std::string_view name) override {
    return g_environment_at_load.Find(name);
  }

  // Drive paths are this system's own.
  std::string DefaultPathToNative(std::string_view path) override {
    return std::string(path);
  }

  Status OpenRead(const std::string& path, FileHandle& file) override {
    return Open(path, GENERIC_READ, OPEN_EXISTING, file);
  }

  Status CreateNew(const std::string& path, FileHandle& file) override {
    return Open(path, GENERIC_WRITE, CREATE_NEW, file);
  }

  Status Read(FileHandle file, char* buffer, std::size_t size,
              std::size_t& got) override {
    DWORD read = 0;
    const BOOL succeeded =
        ReadFile(ToHandle(file), buffer, Chunk(size), &read, nullptr);
    got = succeeded != FALSE ? read : 0;
    return OkOrLastError(succeeded);
  }

  Status Write(FileHandle file, const char* data, std::size_t size) override {
    while (size > 0) {
      DWORD written = 0;
      if (WriteFile(ToHandle(file), data, Chunk(size), &written, nullptr) ==
          FALSE) {
        return LastError();
      }
      if (written == 0) {
        return {Error::failed, ERROR_WRITE_FAULT};
      }
      data += written;
      size -= written;
    }
    return Status::Ok();
  }

  Status Sync(FileHandle file) override {
    return OkOrLastError(FlushFileBuffers(ToHandle(file)));
  }

  // Nothing to carry over: the new file is created in the old one's folder
  // and takes the access rules the folder passes on, as the old one did; the
  // old file's attributes, read-only among them, are deliberately left
  // behind.
  Status CopyAccess(FileHandle /*from*/, FileHandle /*to*/) override {
    return Status::Ok();
  }

  Status Close(FileHandle file) override {
    return OkOrLastError(CloseHandle(ToHandle(file)));
  }

  Status Probe(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES
               ? Status::Ok()
               : LastError();
  }

  // MoveFileA never replaces an existing target.
  Status Rename(const std::string& from, const std::string& to) override {
    return OkOrLastError(MoveFileA(from.c_str(), to.c_str()));
  }

  Status Remove(const std::string& path) override {
    return OkOrLastError(DeleteFileA(path.c_str()));
  }

  Status ClearReadOnly(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      return LastError();
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) {
      return Status::Ok();
    }
    DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (cleared == 0) {
      cleared = FILE_ATTRIBUTE_NORMAL;
    }
    return OkOrLastError(SetFileAttributesA(path.c_str(), cleared));
  }

  Status ListDirectoryOf(const std::string& path,
                         std::vector<std::string>& names) override {
    names.clear();
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(FolderPatternOf(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      // An empty folder (a drive's root has no "." entry) matches nothing.
      return GetLastError() == ERROR_FILE_NOT_FOUND ? Status::Ok()
                                                    : LastError();
    }
    do {
      names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found) != FALSE);
    const DWORD stopped = GetLastError();
    FindClose(search);
    return stopped == ERROR_NO_MORE_FILES ? Status::Ok() : FromCode(stopped);
  }

  // Windows has no call that forces one folder's entries to the disk (NTFS
  // logs its directory changes itself): nothing to do.
  Status SyncDirectoryOf(const std::string& /*path*/) override {
    return Status::Ok();
  }

  void Pause(std::chrono::milliseconds how_long) override {
    Sleep(static_cast<DWORD>(how_long.count()));
  }

  std::string Describe(Status status) override {
    if (status.ok()) {
      return "no error";
    }
    std::array<char, 512> text{};
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(status.native), 0, text.data(),
        static_cast<DWORD>(text.size()), nullptr);
    std::string message(text.data(), length);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' ||
            message.back() == ' ' || message.back() == '.')) {
      message.pop_back();
    }
    if (message.empty()) {
      message = "system error " + std::to_string(status.native);
    }
    return message;
  }
};

}  // namespace

Platform& NativePlatform() {
  static Win32Platform native;
  return native;
}

}  // namespace pwlevel::platform
