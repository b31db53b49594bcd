// The POSIX platform on a real temporary directory.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "text/utf8.h"

namespace platform {
namespace {

class PosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/snipdir-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + root_ + "'";
    ASSERT_EQ(system(command.c_str()), 0);
  }

  void Write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  // The listing of `directory`, or null after failing the test.
  std::unique_ptr<Directory> Open(const std::string& directory) {
    std::unique_ptr<Directory> listing;
    const ErrorCode error = system_->OpenDirectory(text::DecodeName(directory + "/").c_str(), listing);
    EXPECT_EQ(error, 0u);
    return listing;
  }

  // Every entry of the listing, and whether it is a directory.
  std::map<std::u16string, bool> List(Directory& directory) {
    std::map<std::u16string, bool> names;
    Entry entry;
    bool end = false;
    while (directory.Next(entry, end) == 0 && !end) names.emplace(entry.name, entry.isDirectory);
    return names;
  }

  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  std::string root_;
};

TEST_F(PosixTest, ListsEveryEntryWithItsKind) {
  Write(root_ + "/file", "f");
  ASSERT_EQ(mkdir((root_ + "/dir").c_str(), 0755), 0);
  ASSERT_EQ(symlink("dir", (root_ + "/link").c_str()), 0);
  Write(root_ + "/bad\xFF", "b");
  const auto directory = Open(root_);
  ASSERT_NE(directory, nullptr);
  // A link to a directory is renamed as a link, like a file.
  EXPECT_EQ(List(*directory), (std::map<std::u16string, bool>{{u".", true},
                                                              {u"..", true},
                                                              {u"dir", true},
                                                              {u"file", false},
                                                              {u"link", false},
                                                              {u"bad\xDCFF", false}}));
}

TEST_F(PosixTest, RenameNeverReplacesAnEntry) {
  Write(root_ + "/old-name", "old");
  Write(root_ + "/new", "precious");
  const auto directory = Open(root_);
  ASSERT_NE(directory, nullptr);
  const std::u16string base = text::DecodeName(root_ + "/");
  const std::u16string oldPath = base + u"old-name", newPath = base + u"new";
  EXPECT_EQ(directory->LookUp(newPath.c_str(), base.size()), ErrorCode{EEXIST});
  EXPECT_EQ(directory->Rename(oldPath.c_str(), newPath.c_str(), base.size()),
            ErrorCode{EEXIST});
  EXPECT_EQ(system_->traits().targetExists, ErrorCode{EEXIST});
  EXPECT_EQ(Read(root_ + "/new"), "precious");
  EXPECT_EQ(Read(root_ + "/old-name"), "old");

  const std::u16string freePath = base + u"n\xDCE9w";  // byte E9 alone
  EXPECT_EQ(directory->LookUp(freePath.c_str(), base.size()), 0u);
  EXPECT_EQ(directory->Rename(oldPath.c_str(), freePath.c_str(), base.size()), 0u);
  EXPECT_EQ(Read(root_ + "/n\xE9w"), "old");
  // A lone surrogate that stands for no byte takes its three bytes, as
  // NTFS-3G shows it.
  const std::u16string surrogate = base + u"n\xD800w";
  EXPECT_EQ(directory->Rename(freePath.c_str(), surrogate.c_str(), base.size()), 0u);
  EXPECT_EQ(Read(root_ + "/n\xED\xA0\x80w"), "old");
}

TEST_F(PosixTest, MissingEntryReportsItsError) {
  const auto directory = Open(root_);
  ASSERT_NE(directory, nullptr);
  const std::u16string base = text::DecodeName(root_ + "/");
  const std::u16string oldPath = base + u"gone", newPath = base + u"new";
  EXPECT_EQ(directory->Rename(oldPath.c_str(), newPath.c_str(), base.size()),
            ErrorCode{ENOENT});
}

TEST_F(PosixTest, OpeningAFileAsADirectoryFails) {
  Write(root_ + "/file", "f");
  std::unique_ptr<Directory> listing;
  EXPECT_EQ(system_->OpenDirectory(text::DecodeName(root_ + "/file/").c_str(), listing),
            ErrorCode{ENOTDIR});
  EXPECT_EQ(listing, nullptr);
}

TEST_F(PosixTest, ReadsAFileInPiecesOrSaysWhyNot) {
  const std::string content(200 * 1024, 'r');  // more than one read
  Write(root_ + "/report", content);
  std::string bytes;
  const auto gather = [&bytes](std::string_view piece) {
    bytes += piece;
    return Go::kOn;
  };
  EXPECT_EQ(system_->ReadFile(text::DecodeName(root_ + "/report").c_str(), gather), 0u);
  EXPECT_EQ(bytes, content);
  // The reader may stop early.
  size_t pieces = 0;
  EXPECT_EQ(system_->ReadFile(text::DecodeName(root_ + "/report").c_str(),
                              [&pieces](std::string_view) { return ++pieces < 1 ? Go::kOn : Go::kStop; }),
            0u);
  EXPECT_EQ(pieces, 1u);
  EXPECT_EQ(system_->ReadFile(text::DecodeName(root_ + "/missing").c_str(), gather),
            ErrorCode{ENOENT});
  EXPECT_EQ(system_->ReadFile(text::DecodeName(root_).c_str(), gather), ErrorCode{EISDIR});
}

TEST_F(PosixTest, AbsolutePathFollowsTheConventionOfRoom) {
  char16_t buffer[16];
  uint32_t length = 0;
  EXPECT_EQ(system_->AbsolutePath(u"/a/b", 16, buffer, length), 0u);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(std::u16string(buffer), u"/a/b");
  EXPECT_EQ(system_->AbsolutePath(u"/abcdefghijklmnopq", 16, buffer, length), 0u);
  EXPECT_EQ(length, 19u);
  EXPECT_EQ(system_->AbsolutePath(u"", 16, buffer, length), ErrorCode{ENOENT});

  char16_t relative[4096];
  EXPECT_EQ(system_->AbsolutePath(u"x/../y", 4096, relative, length), 0u);
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::string expected = std::string(cwd) + (cwd[1] ? "/" : "") + "x/../y";
  EXPECT_EQ(std::u16string(relative, length), text::DecodeName(expected));
}

TEST_F(PosixTest, LongFormIsTheExistenceTest) {
  // The path, terminated, in a buffer of 300 units.
  std::u16string path = text::DecodeName(root_);
  const size_t length = path.size();
  path.resize(300);
  uint32_t formed = 0;
  EXPECT_EQ(system_->LongForm(path.data(), 300, formed), 0u);
  EXPECT_EQ(formed, length);
  std::u16string missing = text::DecodeName(root_ + "/missing");
  missing.resize(300);
  EXPECT_EQ(system_->LongForm(missing.data(), 300, formed), ErrorCode{ENOENT});
}

TEST_F(PosixTest, DirectoryBeyondPathMaxIsListedAndRenamed) {
  // Build a chain of directories deeper than PATH_MAX with relative steps.
  const std::string component(200, 'd');
  const int start = open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(start, 0);
  ASSERT_EQ(chdir(root_.c_str()), 0);
  std::string path = root_;
  while (path.size() <= PATH_MAX + 200) {
    ASSERT_EQ(mkdir(component.c_str(), 0755), 0);
    ASSERT_EQ(chdir(component.c_str()), 0);
    path += "/" + component;
  }
  Write("a-long-file-name.txt", "content");
  ASSERT_EQ(fchdir(start), 0);
  close(start);

  std::u16string buffer = text::DecodeName(path);
  buffer.resize(buffer.size() + 1);
  uint32_t formed = 0;
  EXPECT_EQ(system_->LongForm(buffer.data(), static_cast<uint32_t>(buffer.size()), formed), 0u);
  EXPECT_EQ(formed, buffer.size() - 1);
  const auto directory = Open(path);
  ASSERT_NE(directory, nullptr);
  EXPECT_EQ(List(*directory), (std::map<std::u16string, bool>{
                                  {u".", true}, {u"..", true}, {u"a-long-file-name.txt", false}}));
  const std::u16string base = text::DecodeName(path + "/");
  const std::u16string oldPath = base + u"a-long-file-name.txt";
  const std::u16string newPath = base + u"a-long.txt";
  EXPECT_EQ(directory->Rename(oldPath.c_str(), newPath.c_str(), base.size()), 0u);
}

}  // namespace
}  // namespace platform
