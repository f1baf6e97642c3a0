#include "store/lines.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "store/secret.h"

namespace pwlevel::store {
namespace {

constexpr char kEndOfFile = '\x1A';

}  // namespace

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, platform::kNoFile)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, platform::kNoFile);
  }
  return *this;
}

File::~File() { Close(); }

Status File::OpenRead(const std::string& path, File& file) {
  file.Close();
  return platform::Os().OpenRead(path, file.handle_);
}

Status File::CreateNew(const std::string& path, File& file) {
  file.Close();
  return platform::Os().CreateNew(path, file.handle_);
}

Status File::Close() {
  if (!is_open()) {
    return Status::Ok();
  }
  return platform::Os().Close(std::exchange(handle_, platform::kNoFile));
}

LineReader::~LineReader() { WipeBytes(buffer_.data(), buffer_.size()); }

bool LineReader::Refill() {
  begin_ = 0;
  end_ = 0;
  if (ended_ || failed_) {
    return false;
  }
  std::size_t got = 0;
  failure_ = platform::Os().Read(file_, buffer_.data(), buffer_.size(), got);
  if (!failure_.ok()) {
    failed_ = true;
    return false;
  }
  const auto* stop =
      static_cast<const char*>(std::memchr(buffer_.data(), kEndOfFile, got));
  if (stop != nullptr) {
    got = static_cast<std::size_t>(stop - buffer_.data());
    ended_ = true;
  }
  end_ = got;
  ended_ = ended_ || got == 0;
  return got > 0;
}

LineReader::Outcome LineReader::Next(std::string& line) {
  line.clear();
  for (;;) {
    if (begin_ == end_ && !Refill()) {
      if (failed_) {
        return Outcome::failed;
      }
      return line.empty() ? Outcome::end : Outcome::line;
    }
    const char* from = buffer_.data() + begin_;
    const auto* newline =
        static_cast<const char*>(std::memchr(from, '\n', end_ - begin_));
    const std::size_t taken = newline != nullptr
                                  ? static_cast<std::size_t>(newline - from) + 1
                                  : end_ - begin_;
    line.append(from, taken);
    begin_ += taken;
    if (newline != nullptr) {
      // CR LF is one line break; the CR may have come in the previous read.
      if (line.size() >= 2 && line[line.size() - 2] == '\r') {
        line.erase(line.size() - 2, 1);
      }
      return Outcome::line;
    }
  }
}

LineWriter::~LineWriter() { WipeBytes(buffer_.data(), buffer_.size()); }

Status LineWriter::Put(std::string_view text) {
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    const std::string_view plain = text.substr(0, newline);
    if (Status status = Append(plain); !status.ok()) {
      return status;
    }
    if (newline == std::string_view::npos) {
      break;
    }
    if (Status status = Append("\r\n"); !status.ok()) {
      return status;
    }
    text.remove_prefix(newline + 1);
  }
  return Status::Ok();
}

Status LineWriter::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    if (used_ == buffer_.size()) {
      if (Status status = Flush(); !status.ok()) {
        return status;
      }
    }
    const std::size_t room = std::min(bytes.size(), buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes.data(), room);
    used_ += room;
    bytes.remove_prefix(room);
  }
  return Status::Ok();
}

Status LineWriter::Flush() {
  if (used_ == 0) {
    return Status::Ok();
  }
  const Status status = platform::Os().Write(file_, buffer_.data(), used_);
  used_ = 0;
  return status;
}

}  // namespace pwlevel::store
