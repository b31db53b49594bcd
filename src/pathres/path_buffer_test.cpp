#include "pathres/path_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace pathres {
namespace {

using platform::FakePlatform;

std::u16string Repeat(char16_t c, size_t count) { return std::u16string(count, c); }

TEST(ResolveLongPathTest, PrefixesTheAbsolutePath) {
  struct {
    std::u16string argument;
    std::u16string absolute;  // what the system makes of it
    std::u16string expected;
  } const cases[] = {
      {u"photos", u"C:\\data\\photos", u"\\\\?\\C:\\data\\photos"},
      {u".", u"C:\\data", u"\\\\?\\C:\\data"},
      {u"C:\\", u"C:\\", u"\\\\?\\C:\\"},  // a trailing backslash stays
      // A share gets the prefix for shares, typed as a share, with forward
      // slashes, or relative while the current directory is on a share.
      {u"\\\\server\\share\\dir", u"\\\\server\\share\\dir", u"\\\\?\\UNC\\server\\share\\dir"},
      {u"//server/share", u"\\\\server\\share", u"\\\\?\\UNC\\server\\share"},
      {u"photos", u"\\\\server\\share\\photos", u"\\\\?\\UNC\\server\\share\\photos"},
      // Already prefixed, or a device path: taken as they stand.
      {u"\\\\?\\C:\\data", u"\\\\?\\C:\\data", u"\\\\?\\C:\\data"},
      {u"\\\\?\\UNC\\server\\s", u"\\\\?\\UNC\\server\\s", u"\\\\?\\UNC\\server\\s"},
      {u"\\\\.\\C:\\data", u"\\\\.\\C:\\data", u"\\\\.\\C:\\data"},
  };
  for (const auto& c : cases) {
    FakePlatform system;
    system.absoluteForm = c.absolute;
    PathBuffer buffer;
    EXPECT_TRUE(ResolveLongPath(buffer, c.argument.c_str(), system));
    EXPECT_TRUE(buffer.resolved);
    EXPECT_EQ(buffer.lastError, 0u);
    EXPECT_EQ(std::u16string(buffer.text), c.expected);
    EXPECT_EQ(buffer.capacity, 260u);
  }
}

TEST(ResolveLongPathTest, ExpandsShortComponents) {
  FakePlatform system;
  system.absoluteForm = u"C:\\LONGDI~1";
  system.longForm = u"\\\\?\\C:\\Long directory name";
  PathBuffer buffer;
  ASSERT_TRUE(ResolveLongPath(buffer, u"C:\\LONGDI~1", system));
  EXPECT_TRUE(buffer.resolved);
  EXPECT_EQ(std::u16string(buffer.text), u"\\\\?\\C:\\Long directory name");
}

TEST(ResolveLongPathTest, GrowsTheBufferForLongAbsolutePaths) {
  // Absolute lengths around the 256 units of room behind the prefix, and
  // far beyond, up to the system's limit.
  for (const size_t length : {254u, 255u, 256u, 257u, 1000u, 32000u}) {
    FakePlatform system;
    system.absoluteForm = u"C:\\" + Repeat(u'x', length - 3);
    PathBuffer buffer;
    ASSERT_TRUE(ResolveLongPath(buffer, u"x", system)) << length;
    EXPECT_TRUE(buffer.resolved);
    EXPECT_EQ(std::u16string(buffer.text), u"\\\\?\\" + system.absoluteForm);
    EXPECT_GE(buffer.capacity, length + 5);
    const std::vector<uint32_t> expectedRooms =
        length <= 255 ? std::vector<uint32_t>{256}
                      : std::vector<uint32_t>{256, static_cast<uint32_t>(length + 1)};
    EXPECT_EQ(system.absoluteRooms, expectedRooms) << length;
    EXPECT_EQ(system.longFormRooms.size(), 1u);
  }
}

TEST(ResolveLongPathTest, UncPathThatFitsTheRoomButNotThePrefixTest) {
  // 256 fits 260 units of room unprefixed with a terminator; 257 to 259 fit
  // too but leave no room for a prefix, so the buffer grows once. The share
  // then gets the prefix for shares.
  for (const size_t length : {256u, 257u, 258u, 259u, 260u}) {
    FakePlatform system;
    system.absoluteForm = u"\\\\server\\" + Repeat(u's', length - 9);
    PathBuffer buffer;
    ASSERT_TRUE(ResolveLongPath(buffer, system.absoluteForm.c_str(), system));
    EXPECT_TRUE(buffer.resolved);
    EXPECT_EQ(std::u16string(buffer.text), u"\\\\?\\UNC\\" + system.absoluteForm.substr(2));
    EXPECT_EQ(system.absoluteRooms.size(), length <= 256 ? 1u : 2u) << length;
  }
}

TEST(ResolveLongPathTest, GrowsTheBufferForALongerLongForm) {
  FakePlatform system;
  system.absoluteForm = u"C:\\A~1";
  system.longForm = u"\\\\?\\C:\\" + Repeat(u'a', 700);
  PathBuffer buffer;
  ASSERT_TRUE(ResolveLongPath(buffer, u"C:\\A~1", system));
  EXPECT_TRUE(buffer.resolved);
  EXPECT_EQ(std::u16string(buffer.text), system.longForm);
  EXPECT_EQ(system.longFormRooms, (std::vector<uint32_t>{260, 708}));
  EXPECT_EQ(buffer.capacity, 708u);
}

TEST(ResolveLongPathTest, ReportsWhichStepFailed) {
  {
    FakePlatform system;
    system.longFormError = 2;  // ERROR_FILE_NOT_FOUND
    PathBuffer buffer;
    EXPECT_TRUE(ResolveLongPath(buffer, u"C:\\missing", system));
    EXPECT_FALSE(buffer.resolved);
    EXPECT_EQ(buffer.lastError, 2u);
    EXPECT_NE(buffer.text, nullptr);
  }
  {
    FakePlatform system;
    system.absoluteError = 123;  // ERROR_INVALID_NAME
    PathBuffer buffer;
    EXPECT_FALSE(ResolveLongPath(buffer, u"", system));
    EXPECT_FALSE(buffer.resolved);
    EXPECT_EQ(buffer.lastError, 123u);
    EXPECT_TRUE(system.longFormRooms.empty());
  }
}

TEST(ResolveLongPathTest, ReusesABufferAndResetsTheOutcome) {
  FakePlatform system;
  PathBuffer buffer;
  system.longFormError = 3;
  EXPECT_TRUE(ResolveLongPath(buffer, u"C:\\missing", system));
  EXPECT_EQ(buffer.lastError, 3u);
  system.longFormError = 0;
  system.absoluteForm = u"C:\\" + Repeat(u'y', 400);
  ASSERT_TRUE(ResolveLongPath(buffer, u"y", system));
  EXPECT_TRUE(buffer.resolved);
  EXPECT_EQ(buffer.lastError, 0u);
  const uint32_t grown = buffer.capacity;
  system.absoluteForm = u"C:\\short";
  ASSERT_TRUE(ResolveLongPath(buffer, u"short", system));
  EXPECT_EQ(buffer.capacity, grown);  // never shrinks
  EXPECT_EQ(std::u16string(buffer.text), u"\\\\?\\C:\\short");
}

TEST(ResolveLongPathTest, WithoutAPrefixThePathIsTakenAsItIs) {
  FakePlatform system;
  system.BePosix();
  for (const std::u16string& path :
       {std::u16string(u"/home/user/photos"), std::u16string(u"//double/slash"),
        u"/" + Repeat(u'p', 300)}) {
    system.absoluteForm = path;
    PathBuffer buffer;
    ASSERT_TRUE(ResolveLongPath(buffer, path.c_str(), system));
    EXPECT_TRUE(buffer.resolved);
    EXPECT_EQ(std::u16string(buffer.text), path);
  }
}

}  // namespace
}  // namespace pathres

namespace pathres {
namespace {

// Fails the allocation numbered `failAt` (0 is the first), serves the others.
struct FailingHeap {
  static inline int calls = 0;
  static inline int failAt = -1;
  static void* Reallocate(void* block, size_t bytes) {
    return calls++ == failAt ? nullptr : std::realloc(block, bytes);
  }
  static constexpr Allocator kAllocator = {Reallocate, std::free};
};

TEST(ResolveLongPathTest, MemoryRunningOutAtEveryAllocation) {
  // Allocation 0: the first buffer; 1: the buffer for a long absolute path;
  // 2: growth for a longer long form.
  struct {
    int failAt;
    bool textKept;  // the holder still owns a buffer afterwards
  } const cases[] = {{0, false}, {1, false}, {2, true}};
  for (const auto& c : cases) {
    FakePlatform system;
    system.absoluteForm = u"C:\\" + Repeat(u'a', 300);
    system.longForm = u"\\\\?\\C:\\" + Repeat(u'b', 600);
    FailingHeap::calls = 0;
    FailingHeap::failAt = c.failAt;
    PathBuffer buffer(FailingHeap::kAllocator);
    EXPECT_FALSE(ResolveLongPath(buffer, u"a", system));
    EXPECT_FALSE(buffer.resolved);
    EXPECT_EQ(buffer.lastError, 0u);
    EXPECT_EQ(buffer.text != nullptr, c.textKept) << c.failAt;
    EXPECT_EQ(FailingHeap::calls, c.failAt + 1);
  }
}

TEST(ResolveLongPathTest, ImpossibleRoomIsMemoryRunningOut) {
  FakePlatform system;
  system.absoluteRoomNeeded = 0xFFFFFFFE;  // no buffer can be that large
  PathBuffer buffer;
  EXPECT_FALSE(ResolveLongPath(buffer, u"a", system));
  EXPECT_EQ(buffer.lastError, 0u);
  EXPECT_EQ(buffer.text, nullptr);
}

}  // namespace
}  // namespace pathres
