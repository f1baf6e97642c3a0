// Random sequences of changes and verifications, each answer and the file's
// bytes after each step held against a small model of the password file:
// the other lines around the record line and the four stored passwords.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pwlevel.h"
#include "store/pwfile.h"
#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

constexpr int kSteps = 300;
constexpr std::size_t kLongestPassword = 12;

// The field form of a text, worked out here and not by the library.
std::string FieldForm(std::string_view text) {
  const auto printable = [](unsigned value) {
    const auto c = static_cast<char>(value + 32);
    return c == ':' ? '\x01' : c;
  };
  std::string field(1, printable(static_cast<unsigned>(text.size())));
  for (std::size_t i = 0; i < text.size(); i += 3) {
    std::array<unsigned, 3> b{};
    for (std::size_t k = 0; k < 3 && i + k < text.size(); ++k) {
      b[k] = static_cast<unsigned char>(text[i + k]);
    }
    field += printable(b[0] >> 2);
    field += printable(((b[0] & 3) << 4) | (b[1] >> 4));
    field += printable(((b[1] & 15) << 2) | (b[2] >> 6));
    field += printable(b[2] & 63);
  }
  return field;
}

std::string CutAt(std::string_view text, char c) {
  return std::string(text.substr(0, text.find(c)));
}

// A line of the file: its text and whether a line break ends it.
struct Line {
  std::string text;
  bool broken = true;
};

class PwFileModel {
 public:
  PwFileModel(std::vector<Line> before, std::array<std::string, 4> passwords,
              std::vector<Line> after)
      : before_(std::move(before)),
        after_(std::move(after)),
        passwords_(std::move(passwords)) {}

  // The file as first written: its i-th line break is CR LF where
  // crlf[i % crlf.size()] is set, a lone LF elsewhere.
  std::string FirstBytes(const std::vector<bool>& crlf) const {
    return Bytes([&, line = std::size_t{0}]() mutable {
      return crlf[line++ % crlf.size()] ? "\r\n" : "\n";
    });
  }
  // The file as a change writes it: every line break as CR LF.
  std::string WrittenBytes() const {
    return Bytes([] { return "\r\n"; });
  }

  int Change(int level, std::string_view password) {
    if (level < 0 || level > 3 || password.size() > 8) {
      return PWLEVEL_REFUSED;
    }
    passwords_[static_cast<std::size_t>(level)] = CutAt(password, ' ');
    return PWLEVEL_CHANGED;
  }

  [[nodiscard]] int Verify(std::string_view typed) const {
    const std::string cut = CutAt(typed, ' ');
    for (int level = 3; level >= 0; --level) {
      if (CutAt(passwords_[static_cast<std::size_t>(level)], '.') == cut) {
        return level;
      }
    }
    return PWLEVEL_NO_LEVEL;
  }

  [[nodiscard]] const std::array<std::string, 4>& passwords() const {
    return passwords_;
  }

 private:
  template <class Break>
  std::string Bytes(Break next_break) const {
    std::string bytes;
    const auto put = [&](const Line& line) {
      bytes += line.text;
      if (line.broken) {
        bytes += next_break();
      }
    };
    for (const Line& line : before_) {
      put(line);
    }
    std::string record = "Passwd=:";
    for (std::size_t level = 0; level < passwords_.size(); ++level) {
      record +=
          FieldForm(passwords_[level] + '.' + static_cast<char>('0' + level)) +
          ':';
    }
    put({record, true});
    for (const Line& line : after_) {
      put(line);
    }
    return bytes;
  }

  std::vector<Line> before_;
  std::vector<Line> after_;
  std::array<std::string, 4> passwords_;
};

// Seeded choices, the same on every platform.
class Choices {
 public:
  explicit Choices(std::uint32_t seed) : engine_(seed) {}

  std::size_t Below(std::size_t n) { return engine_() % n; }
  bool OneIn(std::size_t n) { return Below(n) == 0; }
  template <class T, std::size_t N>
  const T& Pick(const std::array<T, N>& from) {
    return from[Below(N)];
  }

  // 0 to 12 bytes, with spaces, dots, bytes outside ASCII and runs of 'Z'
  // whose field form holds ':' (written as 0x01).
  std::string Password() {
    static constexpr std::array<std::string_view, 12> kPieces = {
        "a", "b", "7", "Q", " ", ".", "ZZZ", "ZZ", "\x01", "\xE9", ":", "="};
    const std::size_t length = Below(kLongestPassword + 1);
    std::string password;
    while (password.size() < length) {
      password += Pick(kPieces);
    }
    password.resize(length);
    return password;
  }

  // Other lines, some of them record lines in all but one detail.
  Line OtherLine() {
    static constexpr std::array<std::string_view, 10> kLines = {
        "; a comment",
        ";Passwd=:!80  :",
        "",
        "passwd=:!80  :",
        " Passwd=:",
        "Passwd =:",
        "Passwdx=:",
        "key=value with = and :",
        "lone\rcarriage",
        "Passwd\x1B"};
    return {std::string(Pick(kLines)), true};
  }

 private:
  std::mt19937 engine_;
};

class ModelTest : public PwFileTest,
                  public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(ModelTest, ChangesAndVerificationsFollowTheModel) {
  Choices choose(GetParam());
  std::vector<Line> before(choose.Below(4));
  std::vector<Line> after(choose.Below(4));
  for (Line& line : before) {
    line = choose.OtherLine();
  }
  for (Line& line : after) {
    line = choose.OtherLine();
  }
  if (!after.empty() && choose.OneIn(2)) {
    after.back().broken = false;
  }
  std::array<std::string, 4> first;
  for (std::string& password : first) {
    password = CutAt(choose.Password().substr(0, 8), ' ');
  }
  PwFileModel model(before, first, after);
  std::string expected = model.FirstBytes({choose.OneIn(2), choose.OneIn(2)});
  WritePw(expected);

  const std::set<std::string> only_the_file = {"pw.txt"};
  for (int step = 0; step < kSteps; ++step) {
    if (choose.OneIn(2)) {
      const int level = static_cast<int>(choose.Below(6)) - 1;
      const std::string password = choose.Password();
      SCOPED_TRACE("step " + std::to_string(step) + ": change level " +
                   std::to_string(level) + " to \"" + password + "\"");
      const int want = model.Change(level, password);
      ASSERT_EQ(Change(level, password), want);
      if (want == PWLEVEL_CHANGED) {
        expected = model.WrittenBytes();
      }
    } else {
      // A stored password, a default one or a new one, whole, cut at its
      // '.', or with more text after a space.
      std::string typed =
          choose.OneIn(4)   ? choose.Password()
          : choose.OneIn(3) ? std::string(choose.Pick(store::kDefaultPasswords))
                            : choose.Pick(model.passwords());
      if (choose.OneIn(2)) {
        typed = CutAt(typed, '.');
      }
      if (choose.OneIn(4)) {
        typed += " and more";
      }
      SCOPED_TRACE("step " + std::to_string(step) + ": verify \"" + typed +
                   "\"");
      ASSERT_EQ(Verify(typed), model.Verify(typed));
    }
    ASSERT_EQ(PwBytes(), expected) << "step " << step;
    ASSERT_EQ(Entries(), only_the_file) << "step " << step;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ModelTest, ::testing::Range(1U, 9U));

}  // namespace
}  // namespace pwlevel::testing
