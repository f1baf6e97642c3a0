// A verification of any password file with any password. The input is the
// typed password, a NUL, then the file's bytes (an input without a NUL is a
// file, and the password is empty). The answer agrees with the reference;
// the file, the folder and the open descriptors are as they were; the
// caller's buffer is cut at its first space and not otherwise touched.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "harness.h"
#include "pwlevel.h"
#include "reference.h"

namespace {

namespace ref = pwlevel::fuzzing;
using ref::Check;

// The level the first record line gives `password`; a file without one
// opens nothing.
int ExpectedLevel(std::string_view file, std::string_view password) {
  const std::vector<std::string> lines = ref::TextLines(file);
  const auto record = std::find_if(
      lines.begin(), lines.end(),
      [](const std::string& line) { return ref::IsRecordLine(line); });
  return record == lines.end() ? PWLEVEL_NO_LEVEL
                               : ref::Match(*record, password);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): bytes as text
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto [password, file] = ref::SplitAtNul(bytes);

  ref::Workspace& workspace = ref::Workspace::Get();
  workspace.Reset(file);
  const std::size_t descriptors = ref::OpenDescriptors();
  std::vector<char> buffer = ref::CString(password);

  const int level = VerifyPw(buffer.data());

  Check(level >= PWLEVEL_NO_LEVEL && level <= PWLEVEL_MAX_LEVEL,
        "VerifyPw answers -1 to 3");
  Check(buffer == ref::CutAtSpace(password),
        "the password is cut at its first space and otherwise left alone");
  Check(ref::OpenDescriptors() == descriptors, "no file is left open");
  Check(workspace.PwBytes() == file, "the file is left as it was");
  Check(workspace.Entries() == std::set<std::string>{"pw.txt"},
        "nothing is left beside the file");
  Check(level == ExpectedLevel(file, password.substr(0, password.find(' '))),
        "VerifyPw agrees with the reference");
  return 0;
}
