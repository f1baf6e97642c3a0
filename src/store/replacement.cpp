#include "store/replacement.h"

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "store/pwfile.h"

namespace pwlevel::store {
namespace {

constexpr int kNameAttempts = 16;
constexpr std::string_view kSuffixStart = ".new-";
constexpr std::size_t kSuffixDigits = 16;

std::string UnpredictableSuffix() {
  static constexpr char kDigits[] = "0123456789abcdef";
  // One device per thread serves every change: making one asks the processor
  // which random sources it has, and in a virtual machine that question alone
  // costs more than the rest of a change on a fast disk.
  thread_local std::random_device entropy;
  std::uint64_t bits = (static_cast<std::uint64_t>(entropy()) << 32U) ^
                       static_cast<std::uint64_t>(entropy());
  std::string suffix(kSuffixStart);
  for (std::size_t i = 0; i < kSuffixDigits; ++i, bits >>= 4U) {
    suffix += kDigits[bits & 0xFU];
  }
  return suffix;
}

bool IsReplacementName(std::string_view name, std::string_view target_name) {
  if (name.size() != target_name.size() + kSuffixStart.size() + kSuffixDigits ||
      name.substr(0, target_name.size()) != target_name ||
      name.substr(target_name.size(), kSuffixStart.size()) != kSuffixStart) {
    return false;
  }
  return name.find_first_not_of("0123456789abcdef",
                                target_name.size() + kSuffixStart.size()) ==
         std::string_view::npos;
}

}  // namespace

void RemoveStaleReplacements(const std::string& target) {
  platform::Platform& os = platform::Os();
  std::vector<std::string> names;
  if (!os.ListDirectoryOf(target, names).ok()) {
    return;
  }
  const std::size_t name_start = FileNameStart(target);
  const std::string_view target_name =
      std::string_view(target).substr(name_start);
  for (const std::string& name : names) {
    if (IsReplacementName(name, target_name)) {
      // A live change holds its file open, and then the removal is refused.
      os.Remove(target.substr(0, name_start) + name);
    }
  }
}

ReplacementFile::~ReplacementFile() {
  file_.Close();
  if (!temp_path_.empty() && !in_place_) {
    platform::Os().Remove(temp_path_);
  }
}

Status ReplacementFile::Create(const std::string& target, const File& like) {
  target_ = target;
  Status created;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string candidate = target + UnpredictableSuffix();
    created = File::CreateNew(candidate, file_);
    if (created.ok()) {
      temp_path_ = std::move(candidate);
      return platform::Os().CopyAccess(like.handle(), file_.handle());
    }
    if (created.error != platform::Error::already_exists) {
      break;
    }
  }
  return created;
}

Status ReplacementFile::Commit() {
  platform::Platform& os = platform::Os();
  if (Status synced = os.Sync(file_.handle()); !synced.ok()) {
    return synced;
  }
  if (Status closed = file_.Close(); !closed.ok()) {
    return closed;
  }
  if (Status renamed = os.Rename(temp_path_, target_); !renamed.ok()) {
    return renamed;
  }
  in_place_ = true;
  return os.SyncDirectoryOf(target_);
}

}  // namespace pwlevel::store
