#include "support/pw_fixture.h"

#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "pwlevel.h"
#include "store/field.h"
#include "store/pwfile.h"

namespace pwlevel::testing {

namespace fs = std::filesystem;

std::string Printable(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string shown;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && c != '\\') {
      shown += c;
    } else {
      shown += "\\x";
      shown += kDigits[byte >> 4U];
      shown += kDigits[byte & 0xfU];
    }
  }
  return shown;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return "<absent>";
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

std::string FieldFor(const std::string& password, int level) {
  return store::EncodePw(store::LevelText(password, level).view());
}

std::string RecordLine(const std::string& p0, const std::string& p1,
                       const std::string& p2, const std::string& p3) {
  const std::string f0 = FieldFor(p0, 0);
  const std::string f1 = FieldFor(p1, 1);
  const std::string f2 = FieldFor(p2, 2);
  const std::string f3 = FieldFor(p3, 3);
  return store::FormatPwRecord({f0, f1, f2, f3}) + "\r\n";
}

PwFileTest::PwFileTest() {
  std::random_device entropy;
  dir_ =
      fs::temp_directory_path() / ("pwlevel-test-" + std::to_string(entropy()) +
                                   "-" + std::to_string(entropy()));
  fs::create_directories(dir_);
  os_.SetEnv("PASSWD", pw_path());
}

PwFileTest::~PwFileTest() {
  std::error_code ignored;
  // Read-only files are removed too: give the folder's files write rights.
  for (const auto& entry : fs::directory_iterator(dir_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add,
                    ignored);
  }
  fs::remove_all(dir_, ignored);
}

std::set<std::string> PwFileTest::Entries() const {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

int Verify(const std::string& password) {
  std::vector<char> buffer(password.begin(), password.end());
  buffer.push_back('\0');
  return VerifyPw(buffer.data());
}

int Change(int level, const std::string& password) {
  std::vector<char> buffer(password.begin(), password.end());
  buffer.push_back('\0');
  return ChangePw(level, buffer.data());
}

}  // namespace pwlevel::testing
