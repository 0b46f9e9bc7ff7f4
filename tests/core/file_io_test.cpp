#include "core/file_io.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tarnvik::core {
namespace {

std::filesystem::path TempDir() {
  auto dir = std::filesystem::temp_directory_path() /
             ("tarnvik_fileio_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

TEST(FileIo, ReadsWholeFileWithTerminatingNul) {
  auto dir = TempDir();
  std::string path = dir / "a.txt";
  ASSERT_EQ(WriteFileAtomically(path, std::string("ab\0c", 4)), "");
  FileBytes f = ReadWholeFile(path);
  ASSERT_EQ(f.error, ReadError::None);
  ASSERT_EQ(f.size, 4u);
  EXPECT_EQ(std::string(f.begin(), 5), std::string("ab\0c\0", 5));
  EXPECT_EQ(ReadWholeFile(path, 3).error, ReadError::TooLarge);
  EXPECT_EQ(ReadWholeFile((dir / "missing").string()).error, ReadError::Open);
  std::filesystem::remove_all(dir);
}

size_t EntryCount(const std::filesystem::path& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

// A write that fails part-way (the file size limit is hit, whoever runs the test) keeps the
// old file as it was and leaves no temporary beside it.
TEST(FileIo, AtomicWriteKeepsTheOldFileWhenTheWriteFails) {
  auto dir = TempDir();
  std::string path = dir / "log.kml";
  ASSERT_EQ(WriteFileAtomically(path, "old"), "");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error = WriteFileAtomically(path, std::string(5000, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedHandler);
  EXPECT_NE(error, "");
  EXPECT_EQ(std::string(ReadWholeFile(path).begin()), "old");
  EXPECT_EQ(EntryCount(dir), 1u);

  // A target in a missing folder fails and leaves nothing behind.
  EXPECT_NE(WriteFileAtomically((dir / "no" / "x").string(), "data"), "");
  ASSERT_EQ(WriteFileAtomically(path, "new"), "");
  EXPECT_EQ(std::string(ReadWholeFile(path).begin()), "new");
  EXPECT_EQ(EntryCount(dir), 1u);
  std::filesystem::remove_all(dir);
}

// In a folder the user may not write to, the temporary cannot be made: the write fails and
// the old file stays. Root writes anywhere, so under root the check runs in a child process
// that has dropped to the unprivileged user nobody (65534).
TEST(FileIo, AtomicWriteIntoAReadOnlyFolderFailsAndKeepsTheOldFile) {
  auto dir = TempDir();
  std::string path = dir / "log.kml";
  ASSERT_EQ(WriteFileAtomically(path, "old"), "");
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  constexpr int kCannotDrop = 77;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                             ::setresuid(65534, 65534, 65534) != 0)) {
      std::_Exit(kCannotDrop);
    }
    const bool refused = !WriteFileAtomically(path, "new").empty();
    FileBytes kept = ReadWholeFile(path);
    const bool intact = kept.error == ReadError::None && std::string(kept.begin()) == "old";
    std::_Exit(refused && intact && EntryCount(dir) == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(dir.c_str(), 0700);
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kCannotDrop) GTEST_SKIP() << "cannot drop root privileges to user 65534 here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write into a read-only folder succeeded or harmed the old file";
}

TEST(FileIo, ExclusiveCreateNeverReplaces) {
  auto dir = TempDir();
  std::string path = dir / "x.igc";
  bool exists = true;
  ASSERT_EQ(CreateFileExclusively(path, "first", exists), "");
  EXPECT_FALSE(exists);
  EXPECT_NE(CreateFileExclusively(path, "second", exists), "");
  EXPECT_TRUE(exists);
  EXPECT_EQ(std::string(ReadWholeFile(path).begin()), "first");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarnvik::core
