#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace pwlevel::fuzzing {

namespace fs = std::filesystem;

void Check(bool holds, const char* what) {
  if (!holds) {
    // Nothing is left to do if even this fails: the abort tells.
    (void)std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

Workspace& Workspace::Get() {
  static Workspace workspace;
  return workspace;
}

Workspace::Workspace() {
  std::string pattern =
      (fs::temp_directory_path() / "pwlevel-fuzz-XXXXXX").string();
  Check(::mkdtemp(pattern.data()) != nullptr, "a workspace folder is made");
  dir_ = pattern;
  pw_path_ = (fs::path(dir_) / "pw.txt").string();
  os_.SetEnv("PASSWD", pw_path_);
}

Workspace::~Workspace() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

void Workspace::Reset(std::string_view bytes) {
  for (const auto& entry : fs::directory_iterator(dir_)) {
    fs::remove(entry.path());
  }
  std::ofstream out(pw_path_, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  Check(out.good(), "the password file is written");
}

std::string Workspace::PwBytes() const {
  std::ifstream in(pw_path_, std::ios::binary);
  Check(in.good(), "the password file is there");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> Workspace::Entries() const {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(
      fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

PasswordAndFile SplitAtNul(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  if (nul == std::string_view::npos) {
    return {"", bytes};
  }
  return {bytes.substr(0, nul), bytes.substr(nul + 1)};
}

std::vector<char> CString(std::string_view text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  return buffer;
}

std::vector<char> CutAtSpace(std::string_view text) {
  std::vector<char> buffer = CString(text);
  const std::size_t space = text.find(' ');
  if (space != std::string_view::npos) {
    buffer[space] = '\0';
  }
  return buffer;
}

}  // namespace pwlevel::fuzzing
