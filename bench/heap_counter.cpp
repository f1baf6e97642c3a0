#include "heap_counter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace pwlevel::bench {
namespace {

// The benchmarks run on one thread; plain counters are enough and cost
// nothing that would blur the timings.
std::size_t g_allocations = 0;
std::size_t g_live_bytes = 0;

void* Take(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) {
    ++g_allocations;
    g_live_bytes += malloc_usable_size(block);
  }
  return block;
}

void Give(void* block) {
  if (block != nullptr) {
    g_live_bytes -= malloc_usable_size(block);
    std::free(block);
  }
}

}  // namespace

HeapFigures Heap() {
  const struct mallinfo2 info = mallinfo2();
  return {g_allocations, g_live_bytes, info.uordblks};
}

}  // namespace pwlevel::bench

using pwlevel::bench::Give;
using pwlevel::bench::Take;

void* operator new(std::size_t size) {
  void* block = Take(size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Take(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Take(size);
}
void operator delete(void* block) noexcept { Give(block); }
void operator delete[](void* block) noexcept { Give(block); }
void operator delete(void* block, std::size_t) noexcept { Give(block); }
void operator delete[](void* block, std::size_t) noexcept { Give(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept {
  Give(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  Give(block);
}
