#include "core/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(FileIo, AtomicWriteKeepsTheOldFileWhenTheWriteFails) {
  auto dir = TempDir();
  std::string path = dir / "log.kml";
  ASSERT_EQ(WriteFileAtomically(path, "old"), "");
  ::chmod(dir.c_str(), 0500);  // no new files in the folder: the temporary cannot be made
  bool root = ::geteuid() == 0;
  std::string error = WriteFileAtomically(path, "new");
  ::chmod(dir.c_str(), 0700);
  if (!root) {
    EXPECT_NE(error, "");
  }
  if (!error.empty()) {
    EXPECT_EQ(std::string(ReadWholeFile(path).begin()), "old");
  }
  // A target in a missing folder fails and leaves nothing behind.
  EXPECT_NE(WriteFileAtomically((dir / "no" / "x").string(), "data"), "");
  ASSERT_EQ(WriteFileAtomically(path, "new"), "");
  EXPECT_EQ(std::string(ReadWholeFile(path).begin()), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
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
