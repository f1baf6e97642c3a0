// Counts what the program takes from the heap: every operator new and
// delete of the process (the library's included) goes through the counting
// versions that heap_counter.cpp defines, and malloc's own figure catches
// what is taken with malloc directly.
#pragma once

#include <cstddef>

namespace pwlevel::bench {

struct HeapFigures {
  std::size_t allocations = 0;   // operator new calls so far
  std::size_t live_bytes = 0;    // held through operator new right now
  std::size_t malloc_bytes = 0;  // held through malloc right now
};

HeapFigures Heap();

}  // namespace pwlevel::bench
