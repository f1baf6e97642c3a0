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

// Only the part of the buffer that ever held the file's bytes is wiped.
LineReader::~LineReader() { WipeBytes(buffer_.data(), touched_); }

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
  touched_ = std::max(touched_, got);
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
  std::string_view view;
  line.clear();
  const Outcome outcome = Next(view, line);
  if (outcome == Outcome::line && view.data() != line.data()) {
    line.assign(view);
  }
  return outcome;
}

LineReader::Outcome LineReader::Next(std::string_view& line,
                                     std::string& spill) {
  spill.clear();
  for (;;) {
    if (begin_ == end_ && !Refill()) {
      line = spill;
      if (failed_) {
        return Outcome::failed;
      }
      return spill.empty() ? Outcome::end : Outcome::line;
    }
    char* from = buffer_.data() + begin_;
    auto* newline = static_cast<char*>(std::memchr(from, '\n', end_ - begin_));
    if (newline == nullptr) {
      spill.append(from, end_ - begin_);
      begin_ = end_;
      continue;
    }
    auto taken = static_cast<std::size_t>(newline - from) + 1;
    begin_ += taken;
    // CR LF is one line break. Mostly the CR is in this read: the break is
    // moved onto it, in the buffer, and the line ends there.
    const bool pair_here = taken >= 2 && from[taken - 2] == '\r';
    if (pair_here) {
      from[taken - 2] = '\n';
      --taken;
    }
    if (spill.empty()) {
      line = std::string_view(from, taken);
      return Outcome::line;
    }
    // The line began in an earlier read; its CR may have ended that read.
    spill.append(from, taken);
    if (!pair_here && taken == 1 && spill.size() >= 2 &&
        spill[spill.size() - 2] == '\r') {
      spill.erase(spill.size() - 2, 1);
    }
    line = spill;
    return Outcome::line;
  }
}

LineWriter::~LineWriter() { WipeBytes(buffer_.data(), touched_); }

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

Status LineWriter::PutLine(std::string_view line) {
  const bool has_break = !line.empty() && line.back() == '\n';
  if (has_break) {
    line.remove_suffix(1);
  }
  // Mostly the line and its CR LF fit in what is left of the buffer.
  if (has_break && line.size() + 2 <= buffer_.size() - used_) {
    char* to = buffer_.data() + used_;
    std::memcpy(to, line.data(), line.size());
    to[line.size()] = '\r';
    to[line.size() + 1] = '\n';
    used_ += line.size() + 2;
    touched_ = std::max(touched_, used_);
    return Status::Ok();
  }
  if (Status status = Append(line); !status.ok() || !has_break) {
    return status;
  }
  return Append("\r\n");
}

Status LineWriter::Append(std::string_view bytes) {
  // Mostly the bytes fit in what is left of the buffer.
  if (bytes.size() <= buffer_.size() - used_) {
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
    touched_ = std::max(touched_, used_);
    return Status::Ok();
  }
  while (!bytes.empty()) {
    if (used_ == buffer_.size()) {
      if (Status status = Flush(); !status.ok()) {
        return status;
      }
    }
    const std::size_t room = std::min(bytes.size(), buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes.data(), room);
    used_ += room;
    touched_ = std::max(touched_, used_);
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
