// Open files and their lines, in text mode.
//
// On disk a line break is CR LF; in memory it is a lone '\n'. Reading, a CR
// LF pair becomes '\n', a CR on its own is an ordinary character, and the
// first byte 0x1A ends the file: nothing after it is read. Writing, every
// '\n' goes out as CR LF and nothing else is changed or added.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace pwlevel::store {

using platform::FileHandle;
using platform::Status;

// An open file of the platform in force, closed when it goes.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  ~File();

  static Status OpenRead(const std::string& path, File& file);
  static Status CreateNew(const std::string& path, File& file);

  [[nodiscard]] FileHandle handle() const { return handle_; }
  [[nodiscard]] bool is_open() const { return handle_ != platform::kNoFile; }
  // Closes now and says whether the close went well.
  Status Close();

 private:
  FileHandle handle_ = platform::kNoFile;
};

class LineReader {
 public:
  enum class Outcome { line, end, failed };

  explicit LineReader(const File& file) : file_(file.handle()) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader();

  // Reads the next line into `line`, with its '\n' when it has one. A last
  // line without a break comes whole, without one. `line` is reused: its
  // buffer keeps what it held, for the caller to wipe.
  Outcome Next(std::string& line);

  // The same without a copy where it can: `line` views the line in the
  // reader's own buffer, valid until the next call, or in `spill` when the
  // line runs across reads (`spill` is reused: its buffer keeps what it
  // held, for the caller to wipe).
  Outcome Next(std::string_view& line, std::string& spill);

  // What the system said when Next() answered failed.
  [[nodiscard]] Status failure() const { return failure_; }

 private:
  bool Refill();

  FileHandle file_;
  // Left unfilled: only the bytes that a read put there are ever looked at.
  std::array<char, 8192> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::size_t touched_ = 0;  // how much of buffer_ a read ever filled
  bool ended_ = false;
  bool failed_ = false;
  Status failure_;
};

class LineWriter {
 public:
  explicit LineWriter(const File& file) : file_(file.handle()) {}
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;
  ~LineWriter();

  // Queues `text`, its '\n' written as CR LF. Fails when a write fails.
  Status Put(std::string_view text);
  // The same for one line as LineReader gives it: no '\n' but, maybe, a
  // last one. Spares the search for line breaks inside it.
  Status PutLine(std::string_view line);
  // Writes out what is queued.
  Status Flush();

 private:
  Status Append(std::string_view bytes);

  FileHandle file_;
  // Left unfilled: only the bytes queued there are ever written out.
  std::array<char, 8192> buffer_;
  std::size_t used_ = 0;
  std::size_t touched_ = 0;  // how much of buffer_ ever held text
};

}  // namespace pwlevel::store
