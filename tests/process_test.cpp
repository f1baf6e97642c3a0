// Changes cut short by SIGKILL, and verifications running beside changes in
// other processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "store/field.h"
#include "store/pwfile.h"
#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

const std::string kHead = "; head\r\nName=value\r\n\r\n";
const std::string kTail = "after\r\n; last line\r\n";
const std::vector<std::string> kPasswords = {"zero",  "one",  "two",  "three",
                                             "alpha", "beta", "gamma"};

bool IsKnownField(std::string_view field, int level) {
  const std::optional<store::Secret> text = store::DecodePw(field);
  if (!text.has_value()) {
    return false;
  }
  for (const std::string& password : kPasswords) {
    if (text->view() == store::LevelText(password, level).view()) {
      return true;
    }
  }
  return false;
}

// True when `bytes` is the whole file: every line there, in order, and a
// record line whose fields hold passwords that were set.
bool IsComplete(const std::string& bytes) {
  if (bytes.size() < kHead.size() + kTail.size() ||
      bytes.compare(0, kHead.size(), kHead) != 0 ||
      bytes.compare(bytes.size() - kTail.size(), kTail.size(), kTail) != 0) {
    return false;
  }
  const std::string record =
      bytes.substr(kHead.size(), bytes.size() - kHead.size() - kTail.size());
  if (!store::IsPwRecord(record) || record.find('\n') != record.size() - 1) {
    return false;
  }
  for (int level = 0; level < store::kLevels; ++level) {
    const auto field = store::PwField(record, level);
    if (!field.has_value() || !IsKnownField(*field, level)) {
      return false;
    }
  }
  return true;
}

using Clock = std::chrono::steady_clock;

// Runs `body` in a child process; the child's exit status is its answer.
template <class Body>
pid_t Spawn(Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::_exit(body());
  }
  return child;
}

int ExitStatus(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class ProcessTest : public PwFileTest {
 protected:
  ProcessTest() {
    WritePw(kHead + RecordLine("zero", "one", "two", "three") + kTail);
  }
};

TEST_F(ProcessTest, AChangeKilledAnywhereLosesNothing) {
  std::mt19937 random(20261211);
  int only_backup = 0;
  for (int round = 0; round < 80; ++round) {
    const pid_t changer = Spawn([] {
      for (std::size_t i = 0;; ++i) {
        Change(static_cast<int>(i % 4), kPasswords[i % kPasswords.size()]);
      }
      return 0;
    });
    ASSERT_GT(changer, 0);
    ::usleep(static_cast<useconds_t>(200 + random() % 4000));
    ::kill(changer, SIGKILL);
    ASSERT_EQ(ExitStatus(changer), 128 + SIGKILL);

    const std::string file = PwBytes();
    const std::string backup = BackupBytes();
    ASSERT_TRUE(file != "<absent>" || backup != "<absent>") << round;
    if (file != "<absent>") {
      ASSERT_TRUE(IsComplete(file)) << round << ": " << file;
    }
    if (backup != "<absent>") {
      ASSERT_TRUE(IsComplete(backup)) << round << ": " << backup;
    }
    EXPECT_EQ(Verify("admin"), -1) << round;
    only_backup += file == "<absent>" ? 1 : 0;
  }
  // The kills fell both before and after the file was moved aside.
  EXPECT_GT(only_backup, 0);
  EXPECT_LT(only_backup, 80);
  ASSERT_EQ(Change(2, "gamma"), 0);
  EXPECT_EQ(Verify("gamma"), 2);
  EXPECT_TRUE(IsComplete(PwBytes()));
  // What the killed changes left behind is gone with the next change.
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

// What a verifying child found wrong, as its exit status.
enum VerifierVerdict {
  kAllWell = 0,
  kDefaultAccepted = 1,
  kRecordMissed = 2,
  kWrongLevel = 3,
};

int VerifyWhileOthersChange(Clock::time_point until) {
  while (Clock::now() < until) {
    for (const std::string_view built_in : store::kDefaultPasswords) {
      if (Verify(std::string(built_in)) != -1) {
        return kDefaultAccepted;
      }
    }
    // Level 3 is never changed: it opens whenever the record line is read.
    if (Verify("three") != 3) {
      return kRecordMissed;
    }
    const int alpha = Verify("alpha");
    if (alpha != -1 && alpha != 1) {
      return kWrongLevel;
    }
    ::usleep(100);
  }
  return kAllWell;
}

TEST_F(ProcessTest, VerifiersBesideAChangerSeeOnlyPasswordsThatWereSet) {
  const Clock::time_point until = Clock::now() + std::chrono::seconds(2);
  std::vector<pid_t> verifiers;
  for (int i = 0; i < 3; ++i) {
    verifiers.push_back(
        Spawn([until] { return VerifyWhileOthersChange(until); }));
  }
  const pid_t changer = Spawn([until] {
    int changed = 0;
    for (int i = 0; Clock::now() < until; ++i) {
      const int result = Change(1, i % 2 == 0 ? "alpha" : "beta");
      if (result == 0) {
        ++changed;
      } else if (result != -2) {  // -2: a verifier held the file just then
        return 2;
      }
    }
    return changed > 0 ? 0 : 1;
  });
  for (const pid_t verifier : verifiers) {
    EXPECT_EQ(ExitStatus(verifier), kAllWell);
  }
  EXPECT_EQ(ExitStatus(changer), 0);

  ASSERT_EQ(Change(1, "beta"), 0);
  EXPECT_EQ(Verify("beta"), 1);
  EXPECT_TRUE(IsComplete(PwBytes()));
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

TEST_F(ProcessTest, ManyCallsLeaveNoDescriptorOpen) {
  const auto open_descriptors = [] {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
      ++count;
    }
    return count;
  };
  const std::size_t before = open_descriptors();
  for (int i = 0; i < 200; ++i) {
    Verify("three");
    Change(i % 4, "pw");
    Change(9, "refused");
  }
  os_.FailAt(Step::write, 1);
  EXPECT_EQ(Change(1, "x"), -2);
  EXPECT_EQ(Verify("pw"), 3);  // read from the backup
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
}  // namespace pwlevel::testing
