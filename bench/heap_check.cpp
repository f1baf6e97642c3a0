// Calls VerifyPw and then ChangePw a million times each (or as often as the
// first argument says) on one password file and shows whether the heap grew:
// the bytes held through operator new and through malloc after a warm-up,
// and again after the calls. Exits 1 when either grew.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "heap_counter.h"
#include "pwlevel.h"
#include "scratch.h"

namespace pwlevel::bench {
namespace {

constexpr long kWarmUpCalls = 1000;

bool Verify(long calls) {
  for (long i = 0; i < calls; ++i) {
    char password[] = "wrongpw";
    if (VerifyPw(password) != PWLEVEL_NO_LEVEL) {
      return false;
    }
  }
  return true;
}

bool Change(long calls) {
  for (long i = 0; i < calls; ++i) {
    char password[] = "n3wpass";
    if (ChangePw(static_cast<int>(i % 4), password) != PWLEVEL_CHANGED) {
      return false;
    }
  }
  return true;
}

long MaxResidentKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Runs `calls` calls after a warm-up; prints the heap before and after.
bool Watch(const char* name, bool (*call)(long), long calls) {
  if (!call(kWarmUpCalls)) {
    std::printf("%s: a call failed\n", name);
    return false;
  }
  const HeapFigures before = Heap();
  const long rss_before = MaxResidentKiB();
  if (!call(calls)) {
    std::printf("%s: a call failed\n", name);
    return false;
  }
  const HeapFigures after = Heap();
  const bool steady = after.live_bytes == before.live_bytes &&
                      after.malloc_bytes == before.malloc_bytes;
  std::printf(
      "%s x %ld: allocations per call %.2f; operator new holds %zu -> %zu "
      "bytes; malloc holds %zu -> %zu bytes; max RSS %ld -> %ld KiB: %s\n",
      name, calls,
      static_cast<double>(after.allocations - before.allocations) /
          static_cast<double>(calls),
      before.live_bytes, after.live_bytes, before.malloc_bytes,
      after.malloc_bytes, rss_before, MaxResidentKiB(),
      steady ? "no growth" : "GREW");
  return steady;
}

int Run(int argc, char** argv) {
  const long calls = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  WritePwFile(PasswdPaths().file, 100);
  const bool verify_steady = Watch("VerifyPw", Verify, calls);
  const bool change_steady = Watch("ChangePw", Change, calls);
  return verify_steady && change_steady ? 0 : 1;
}

}  // namespace
}  // namespace pwlevel::bench

int main(int argc, char** argv) {
  return pwlevel::bench::RunWithScratchPasswd(argc, argv, pwlevel::bench::Run);
}
