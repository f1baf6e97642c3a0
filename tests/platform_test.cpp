// The behaviour the library needs from the operating system, as the native
// backend gives it: sharing, read-only files, renames that never replace,
// and one list of error kinds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "store/lines.h"
#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

namespace fs = std::filesystem;
using platform::Error;

class PlatformTest : public PwFileTest {
 protected:
  platform::Platform& os = platform::NativePlatform();
  std::string Path(const char* name) const { return (dir() / name).string(); }
};

TEST_F(PlatformTest, TellsMissingFilesApart) {
  store::File file;
  EXPECT_EQ(store::File::OpenRead(Path("none"), file).error, Error::not_found);
  WriteBytes(Path("plain"), "x");
  EXPECT_EQ(store::File::OpenRead(Path("plain") + "/below", file).error,
            Error::not_found);
  EXPECT_EQ(os.Remove(Path("none")).error, Error::not_found);
  EXPECT_EQ(os.Rename(Path("none"), Path("other")).error, Error::not_found);
  EXPECT_EQ(os.Probe(Path("none")).error, Error::not_found);
  EXPECT_TRUE(os.Probe(Path("plain")).ok());
}

TEST_F(PlatformTest, RenameNeverReplaces) {
  WriteBytes(Path("a"), "a");
  WriteBytes(Path("b"), "b");
  EXPECT_EQ(os.Rename(Path("a"), Path("b")).error, Error::already_exists);
  EXPECT_EQ(ReadBytes(Path("b")), "b");
  EXPECT_TRUE(os.Rename(Path("a"), Path("c")).ok());
  EXPECT_EQ(ReadBytes(Path("c")), "a");
  store::File file;
  EXPECT_EQ(store::File::CreateNew(Path("c"), file).error,
            Error::already_exists);
}

TEST_F(PlatformTest, AFileHeldOpenCantBeRenamedOrDeleted) {
  WriteBytes(Path("held"), "x");
  {
    store::File reader;
    ASSERT_TRUE(store::File::OpenRead(Path("held"), reader).ok());
    store::File second_reader;  // reading is shared
    EXPECT_TRUE(store::File::OpenRead(Path("held"), second_reader).ok());
    EXPECT_EQ(os.Rename(Path("held"), Path("moved")).error,
              Error::access_denied);
    EXPECT_EQ(os.Remove(Path("held")).error, Error::access_denied);
  }
  EXPECT_TRUE(os.Rename(Path("held"), Path("moved")).ok());
  EXPECT_TRUE(os.Remove(Path("moved")).ok());
}

TEST_F(PlatformTest, AReadOnlyFileIsNotDeletedUntilCleared) {
  WriteBytes(Path("ro"), "x");
  fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::group_read);
  // Refused whoever runs the test, root included.
  EXPECT_EQ(os.Remove(Path("ro")).error, Error::access_denied);
  EXPECT_TRUE(os.ClearReadOnly(Path("ro")).ok());
  const fs::perms now = fs::status(Path("ro")).permissions();
  EXPECT_NE(now & fs::perms::owner_write, fs::perms::none);
#if !defined(_WIN32)
  // Only the owner gets write permission back.
  EXPECT_EQ(now, fs::perms::owner_read | fs::perms::owner_write |
                     fs::perms::group_read);
#endif
  EXPECT_TRUE(os.Remove(Path("ro")).ok());
  EXPECT_EQ(os.ClearReadOnly(Path("ro")).error, Error::not_found);
}

TEST_F(PlatformTest, ReadsTellTheEndFromAFailure) {
  WriteBytes(Path("f"), "abc");
  store::File file;
  ASSERT_TRUE(store::File::OpenRead(Path("f"), file).ok());
  char buffer[8];
  std::size_t got = 0;
  ASSERT_TRUE(os.Read(file.handle(), buffer, sizeof buffer, got).ok());
  EXPECT_EQ(got, 3U);
  ASSERT_TRUE(os.Read(file.handle(), buffer, sizeof buffer, got).ok());
  EXPECT_EQ(got, 0U);
  store::File directory;
  if (store::File::OpenRead(dir().string(), directory).ok()) {
    EXPECT_FALSE(os.Read(directory.handle(), buffer, sizeof buffer, got).ok());
  }
}

}  // namespace
}  // namespace pwlevel::testing
