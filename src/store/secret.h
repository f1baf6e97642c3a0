// Texts that hold a password, in clear or in its field form: compared in a
// time that does not depend on where they differ, and wiped when dropped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace pwlevel::store {

// Overwrites `size` bytes at `data` with zeros; the compiler may not drop it.
void WipeBytes(void* data, std::size_t size);

// Wipes the whole buffer of `text` (its capacity, not just its length).
void WipeString(std::string& text);

// True when `a` and `b` are equal. For texts of equal length the time taken
// does not depend on where they differ.
bool SameSecret(std::string_view a, std::string_view b);

// A std::string that is wiped when it goes. Reserve what it will need before
// filling it, so that no copy is left behind by a reallocation.
class Secret {
 public:
  Secret() = default;
  explicit Secret(std::string_view text) : text_(text) {}
  explicit Secret(std::string&& text) : text_(std::move(text)) {
    WipeString(text);
  }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  Secret(Secret&& other) noexcept : text_(std::move(other.text_)) {}
  Secret& operator=(Secret&& other) noexcept {
    if (this != &other) {
      WipeString(text_);
      text_ = std::move(other.text_);
    }
    return *this;
  }
  ~Secret() { WipeString(text_); }

  std::string& text() { return text_; }
  [[nodiscard]] std::string_view view() const { return text_; }

 private:
  std::string text_;
};

}  // namespace pwlevel::store
