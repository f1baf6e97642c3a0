#include "store/secret.h"

#include <cstring>

namespace pwlevel::store {

void WipeBytes(void* data, std::size_t size) {
#if defined(__GNUC__) || defined(__clang__)
  // A plain memset, at memset's speed; the empty asm that may read the
  // bytes keeps the compiler from dropping it as a store nobody reads.
  std::memset(data, 0, size);
  __asm__ __volatile__("" : : "r"(data) : "memory");
#else
  auto* volatile bytes = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = 0;
  }
#endif
}

void WipeString(std::string& text) {
  // Everything up to the capacity may have held a secret once.
  text.resize(text.capacity());
  WipeBytes(text.data(), text.size());
  text.clear();
}

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  volatile unsigned char differences = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    differences = static_cast<unsigned char>(
        differences |
        (static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i])));
  }
  return differences == 0;
}

}  // namespace pwlevel::store
