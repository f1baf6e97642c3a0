// Several processes verify while others change the same password file, for
// a bounded time. Each changing process owns one level and sets a new
// password there again and again; the verifying ones try the passwords set
// lately, long ago and never (the built-in defaults among them).
//
// Afterwards every other line of the file is there, the last password set
// at each level verifies, no backup or temporary file is left, and no
// verification accepted a password that had not been set at that level.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "pwlevel.h"
#include "store/pwfile.h"
#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLevels = 4;
constexpr int kVerifiers = 3;
// How long the processes run; PWLEVEL_STRESS_SECONDS sets another time.
constexpr int kDefaultSeconds = 15;
constexpr std::size_t kMaxAttempts = 1U << 18U;

// What the processes share, in memory mapped before they are forked.
struct Board {
  // Per level: the number of the last password a change was started for
  // (published before the call), of the last change that returned, and each
  // attempt's result.
  std::array<std::atomic<std::int64_t>, kLevels> started;
  std::array<std::atomic<std::int64_t>, kLevels> finished;
  std::array<std::array<std::int8_t, kMaxAttempts>, kLevels> results;
  std::array<std::atomic<std::int64_t>, kVerifiers> accepted;
  std::array<std::atomic<std::int64_t>, kVerifiers> refused;
  // Verifications that refused the latest password of a level while no
  // change of that level was under way: allowed, and counted for the report.
  std::array<std::atomic<std::int64_t>, kVerifiers> current_refused;
  std::atomic<int> violations;
  std::atomic<bool> described;
  std::array<char, 256> first_violation;
};

// The password the `n`-th change of `level` sets: "s", the level digit and
// `n` in base 36, at most 8 bytes. Number 0 is in the file at the start.
std::string PasswordFor(int level, std::int64_t n) {
  std::string digits;
  do {
    digits.insert(digits.begin(),
                  "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
    n /= 36;
  } while (n > 0);
  return "s" + std::to_string(level) + digits;
}

int VerifyCopy(const std::string& password) {
  std::vector<char> buffer(password.begin(), password.end());
  buffer.push_back('\0');
  return VerifyPw(buffer.data());
}

void Violation(Board& board, const std::string& what) {
  board.violations.fetch_add(1);
  if (!board.described.exchange(true)) {
    std::strncpy(board.first_violation.data(), what.c_str(),
                 board.first_violation.size() - 1);
  }
}

void KeepChanging(Board& board, int level, Clock::time_point deadline) {
  const auto at = static_cast<std::size_t>(level);
  for (std::int64_t n = 1;
       Clock::now() < deadline && n < static_cast<std::int64_t>(kMaxAttempts);
       ++n) {
    std::string password = PasswordFor(level, n);
    board.started[at].store(n);
    board.results[at][static_cast<std::size_t>(n)] =
        static_cast<std::int8_t>(ChangePw(level, password.data()));
    board.finished[at].store(n);
    if (board.results[at][static_cast<std::size_t>(n)] != PWLEVEL_CHANGED) {
      // Another process held the file: try again a little later, as a host
      // would.
      ::usleep(1000);
    }
  }
}

void KeepVerifying(Board& board, int verifier, Clock::time_point deadline) {
  const auto me = static_cast<std::size_t>(verifier);
  std::mt19937 choose(static_cast<std::uint32_t>(verifier) + 1U);
  while (Clock::now() < deadline) {
    const int level = static_cast<int>(choose() % kLevels);
    const auto at = static_cast<std::size_t>(level);
    const std::int64_t finished = board.finished[at].load();
    const std::int64_t before = board.started[at].load();
    // The latest password of the level is in force and no change of the
    // level is under way.
    const bool at_rest =
        finished == before &&
        (before == 0 || board.results[at][static_cast<std::size_t>(before)] ==
                            PWLEVEL_CHANGED);
    std::int64_t n = before;
    switch (choose() % 4) {
      case 0:  // set long ago, or never
        n = static_cast<std::int64_t>(
            choose() % static_cast<std::uint64_t>(2 * before + 2));
        break;
      case 1:  // the one before the latest
        n = std::max<std::int64_t>(0, before - 1);
        break;
      case 2: {  // never set: a default
        const std::string typed(store::kDefaultPasswords[choose() % kLevels]);
        const int got = VerifyCopy(typed);
        if (got != PWLEVEL_NO_LEVEL) {
          Violation(board, "the default \"" + typed + "\" opened level " +
                               std::to_string(got));
        }
        continue;
      }
      default:  // the latest
        break;
    }
    const std::string typed = PasswordFor(level, n);
    const int got = VerifyCopy(typed);
    const std::int64_t after = board.started[at].load();
    if (got == PWLEVEL_NO_LEVEL) {
      board.refused[me].fetch_add(1);
      if (at_rest && n == before && after == before) {
        board.current_refused[me].fetch_add(1);
      }
      continue;
    }
    board.accepted[me].fetch_add(1);
    if (got != level || n > after) {
      Violation(board, "\"" + typed + "\" opened level " + std::to_string(got) +
                           " when the changes of level " +
                           std::to_string(level) + " had reached number " +
                           std::to_string(after));
    }
  }
}

int StressSeconds() {
  const char* text = std::getenv("PWLEVEL_STRESS_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : kDefaultSeconds;
}

// Runs `work` in a child process, which ends when it returns.
template <class Work>
pid_t Fork(Work work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    work();
    ::_exit(0);
  }
  return pid;
}

class StressTest : public PwFileTest {
 protected:
  StressTest() {
    void* memory = ::mmap(nullptr, sizeof(Board), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory != MAP_FAILED) {
      board_ = std::construct_at(static_cast<Board*>(memory));
    }
  }
  ~StressTest() override {
    if (board_ != nullptr) {
      std::destroy_at(board_);
      ::munmap(board_, sizeof(Board));
    }
  }

  // Waits for every child; one that outlives `limit` is killed and failed.
  static void Reap(const std::vector<pid_t>& children,
                   Clock::time_point limit) {
    for (const pid_t child : children) {
      int status = 0;
      while (::waitpid(child, &status, WNOHANG) == 0) {
        if (Clock::now() > limit) {
          ::kill(child, SIGKILL);
          ::waitpid(child, &status, 0);
          ADD_FAILURE() << "process " << child << " did not finish";
          break;
        }
        ::usleep(10000);
      }
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "process " << child << " ended with status " << status;
    }
  }

  Board* board_ = nullptr;
};

TEST_F(StressTest, VerificationsBesideChangesSeeOnlyPasswordsThatWereSet) {
  ASSERT_NE(board_, nullptr);
  Board& board = *board_;
  const std::string head = "; the password file\r\nkey=value\r\n";
  const std::string tail = ";Passwd=:comment\r\nlast line\r\n";
  WritePw(head +
          RecordLine(PasswordFor(0, 0), PasswordFor(1, 0), PasswordFor(2, 0),
                     PasswordFor(3, 0)) +
          tail);

  const int seconds = StressSeconds();
  const Clock::time_point deadline =
      Clock::now() + std::chrono::seconds(seconds);
  std::vector<pid_t> children;
  for (int level = 0; level < kLevels; ++level) {
    children.push_back(
        Fork([&, level] { KeepChanging(board, level, deadline); }));
  }
  for (int verifier = 0; verifier < kVerifiers; ++verifier) {
    children.push_back(
        Fork([&, verifier] { KeepVerifying(board, verifier, deadline); }));
  }
  for (const pid_t child : children) {
    ASSERT_GT(child, 0) << "fork failed";
  }
  Reap(children, deadline + std::chrono::seconds(60));

  EXPECT_EQ(board.violations.load(), 0) << board.first_violation.data();
  // No temporary file is left. A backup may be: the last change of some
  // level put its file in place, then found the backup held by a
  // verification reading it, and answered -2 with the backup kept.
  for (const std::string& name : Entries()) {
    EXPECT_TRUE(name == "pw.txt" || name == "pw.bak") << name;
  }

  std::int64_t accepted = 0;
  std::int64_t refused = 0;
  std::int64_t current_refused = 0;
  for (int verifier = 0; verifier < kVerifiers; ++verifier) {
    accepted += board.accepted[static_cast<std::size_t>(verifier)].load();
    refused += board.refused[static_cast<std::size_t>(verifier)].load();
    current_refused +=
        board.current_refused[static_cast<std::size_t>(verifier)].load();
  }
  EXPECT_GT(accepted, 0) << "no verification ever matched";

  std::array<std::string, kLevels> in_force;
  for (int level = 0; level < kLevels; ++level) {
    const auto at = static_cast<std::size_t>(level);
    const std::int64_t last = board.started[at].load();
    std::int64_t last_success = 0;
    std::int64_t failures = 0;
    for (std::int64_t n = 1; n <= last; ++n) {
      const int result = board.results[at][static_cast<std::size_t>(n)];
      EXPECT_TRUE(result == PWLEVEL_CHANGED || result == PWLEVEL_FILE_ERROR)
          << "change " << n << " of level " << level << " answered " << result;
      if (result == PWLEVEL_CHANGED) {
        last_success = n;
      } else {
        ++failures;
      }
    }
    EXPECT_GT(last_success, 0)
        << "no change of level " << level << " went through";
    // A change that failed late may still have put its file in place: the
    // password in force is the last one set, or one tried after it.
    for (std::int64_t n = last_success; n <= last && in_force[at].empty();
         ++n) {
      if (VerifyCopy(PasswordFor(level, n)) == level) {
        in_force[at] = PasswordFor(level, n);
      }
    }
    EXPECT_FALSE(in_force[at].empty())
        << "level " << level << " opens neither its last password, "
        << PasswordFor(level, last_success) << ", nor one tried after it";
    std::cout << "level " << level << ": " << last << " changes, " << failures
              << " failed\n";
  }
  std::cout << "verifications: " << accepted << " accepted, " << refused
            << " refused, " << current_refused
            << " of them the latest password of a level at rest\n";

  EXPECT_EQ(PwBytes(),
            head +
                RecordLine(in_force[0], in_force[1], in_force[2], in_force[3]) +
                tail);
  // In quiet, the next change leaves the password file alone in the folder.
  std::array<char, 8> quiet = {'q', 'u', 'i', 'e', 't', '\0'};
  EXPECT_EQ(ChangePw(0, quiet.data()), PWLEVEL_CHANGED);
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

}  // namespace
}  // namespace pwlevel::testing
