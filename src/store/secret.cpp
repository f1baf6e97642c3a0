#include "store/secret.h"

namespace pwlevel::store {

void WipeBytes(void* data, std::size_t size) {
  auto* volatile bytes = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = 0;
  }
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
