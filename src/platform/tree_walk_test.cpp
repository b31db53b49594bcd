#include "platform/tree_walk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform {
namespace {

// A disk in memory: files by number, each directory's names, and who holds
// whom, so that another program can move, swap and link things mid-walk.
struct Disk {
  struct File {
    bool directory = false, link = false;
    uint32_t volume = 1;
    uint64_t parent = 0;
    std::map<std::u16string, uint64_t> entries;
  };
  std::map<uint64_t, File> files{{1, File{true, false, 1, 0, {}}}};
  uint64_t next = 2;
  std::mutex mutex;  // for the walk's workers

  uint64_t Find(const std::u16string& path) const {
    uint64_t at = 1;
    for (size_t start = 0; start < path.size();) {
      const size_t slash = std::min(path.find(u'/', start), path.size());
      at = files.at(at).entries.at(path.substr(start, slash - start));
      start = slash + 1;
    }
    return at;
  }
  // Makes `path` ("a/b/c"; "d/" a directory, "l@" a link, "m%" a mount point).
  uint64_t Make(std::u16string path) {
    File file;
    file.directory = path.back() == u'/' || path.back() == u'%';
    file.link = path.back() == u'@';
    if (path.back() == u'%') file.volume = 2;
    if (file.directory || file.link) path.pop_back();
    const size_t slash = path.rfind(u'/');
    file.parent = slash == std::u16string::npos ? 1 : Find(path.substr(0, slash));
    const uint64_t id = next++;
    files[file.parent].entries[path.substr(slash == std::u16string::npos ? 0 : slash + 1)] = id;
    files[id] = file;
    return id;
  }
  // Another program moves `from` to `to` (paths; `to`'s directory exists).
  void Move(const std::u16string& from, const std::u16string& to) {
    const size_t fromSlash = from.rfind(u'/'), toSlash = to.rfind(u'/');
    const uint64_t fromParent = fromSlash == std::u16string::npos ? 1 : Find(from.substr(0, fromSlash));
    const uint64_t toParent = toSlash == std::u16string::npos ? 1 : Find(to.substr(0, toSlash));
    const std::u16string fromName = from.substr(fromSlash == std::u16string::npos ? 0 : fromSlash + 1);
    const uint64_t id = files[fromParent].entries.at(fromName);
    files[fromParent].entries.erase(fromName);
    files[toParent].entries[to.substr(toSlash == std::u16string::npos ? 0 : toSlash + 1)] = id;
    files[id].parent = toParent;
  }
};

class DiskSystem {
 public:
  using Name = std::u16string;
  struct Identity {
    uint64_t id = 0;
    uint32_t volume = 0;
  };
  struct Place {
    bool open = false;
    Identity identity;
  };
  static constexpr ErrorCode kOtherVolume = 18, kChanged = 116;
  static constexpr ErrorCode kMissing = 2, kLink = 40, kNotDirectory = 20, kTaken = 17;
  static constexpr bool kOpenDirectoriesHoldTheirParents = true;

  explicit DiskSystem(Disk& disk) : disk_(&disk) {}

  static void Encode(std::u16string_view text, Name& out) { out.assign(text); }
  static bool IsOpen(const Place& place) { return place.open; }
  static void Close(Place& place) { place.open = false; }
  static bool SameFile(const Identity& a, const Identity& b) {
    return a.id == b.id && a.volume == b.volume;
  }
  static bool OtherVolume(const Place& top, const Place& place) {
    return place.identity.volume != top.identity.volume;
  }

  ErrorCode Open(const Place& parent, const Name& name, Place& place) {
    const std::lock_guard<std::mutex> lock(disk_->mutex);
    const auto& entries = disk_->files.at(parent.identity.id).entries;
    const auto found = entries.find(name);
    if (found == entries.end()) return kMissing;
    const Disk::File& file = disk_->files.at(found->second);
    if (file.link) return kLink;
    if (!file.directory) return kNotDirectory;
    place = {true, {found->second, file.volume}};
    return 0;
  }
  ErrorCode Reopen(const Place& child, const Place&, Place& reopened) {
    const std::lock_guard<std::mutex> lock(disk_->mutex);
    const uint64_t parent = disk_->files.at(child.identity.id).parent;
    reopened = {true, {parent, disk_->files.at(parent).volume}};
    return 0;
  }
  static unsigned WorkersFor(unsigned wanted, size_t) { return wanted; }
  ErrorCode Duplicate(const Place& place, Place& copy) const {
    copy = place;
    return 0;
  }
  ErrorCode Look(const Place& parent, const Name& name, Identity& identity) {
    const std::lock_guard<std::mutex> lock(disk_->mutex);
    const auto& entries = disk_->files.at(parent.identity.id).entries;
    const auto found = entries.find(name);
    if (found == entries.end()) return kMissing;
    identity = {found->second, disk_->files.at(found->second).volume};
    return 0;
  }
  template <typename Take>
  ErrorCode List(const Place& place, Take&& take) {
    const std::lock_guard<std::mutex> lock(disk_->mutex);
    for (const auto& [name, id] : disk_->files.at(place.identity.id).entries) {
      const Disk::File& file = disk_->files.at(id);
      ListedEntry<Identity> entry;
      entry.name = name;
      entry.isDirectory = file.directory;
      entry.isLink = file.link;
      entry.enter = file.directory && file.volume == place.identity.volume;
      entry.identityKnown = true;
      entry.identity = {id, file.volume};
      take(entry);
    }
    return 0;
  }
  ErrorCode Rename(const Place& place, const Name& oldName, const Name& newName,
                   const Identity* expected) {
    const std::lock_guard<std::mutex> lock(disk_->mutex);
    auto& entries = disk_->files.at(place.identity.id).entries;
    const auto found = entries.find(oldName);
    if (found == entries.end()) return kMissing;
    if (expected != nullptr && found->second != expected->id) return kChanged;
    if (entries.count(newName) != 0) return kTaken;
    const uint64_t id = found->second;
    entries.erase(found);
    entries[newName] = id;
    return 0;
  }
  ErrorCode Refusal(const Place&, const Name&) { return 0; }
  ErrorCode ReadLink(const Place&, const Name&, std::u16string& target) {
    target.clear();
    return 0;
  }
  bool OnShare(const Place&) const { return false; }
  ErrorCode RealPath(const Place&, std::u16string& path) {
    path = u"/";
    return 0;
  }

 private:
  Disk* disk_;
};

using Tree = WalkedTree<DiskSystem>;

std::unique_ptr<Tree> Open(Disk& disk) {
  return std::make_unique<Tree>(DiskSystem(disk), DiskSystem::Place{true, {1, 1}});
}

// The listed node of `path` ("a/b").
uint32_t Node(const TreeListing& listing, const std::u16string& path) {
  for (uint32_t node = 0; node < listing.entries.size(); ++node) {
    std::u16string whole(listing.Name(node));
    for (uint32_t at = listing.entries[node].parent; at != TreeEntry::kTop;
         at = listing.entries[at].parent) {
      whole = std::u16string(listing.Name(at)) + u"/" + whole;
    }
    if (whole == path) return node;
  }
  return TreeEntry::kTop;
}

TEST(TreeWalkTest, ListsAndRenamesAtAnyDepthWithAFewDirectoriesOpen) {
  Disk disk;
  std::u16string path;
  for (int level = 0; level < 40; ++level) {
    path += u"d" + std::u16string(1, static_cast<char16_t>(u'A' + level)) + u"/";
    disk.Make(path);
  }
  disk.Make(path + u"file");
  disk.Make(u"mounted%");
  disk.Make(u"mounted/hidden");
  auto tree = Open(disk);
  std::vector<TreeError> errors;
  const TreeListing& listing = tree->List(errors, [](size_t) { return Go::kOn; }, 1);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(listing.entries.size(), 42u);  // 40 levels, the file, the mount point
  // Down to the bottom, up to the top, and down again through the levels
  // closed on the way (opened again from below and checked).
  EXPECT_EQ(tree->Rename(Node(listing, path + u"file"), u"renamed"), 0u);
  EXPECT_EQ(tree->Rename(Node(listing, u"mounted"), u"mount"), 0u);
  const std::u16string last = path.substr(0, path.size() - 1);
  EXPECT_EQ(tree->Rename(Node(listing, last), u"last"), 0u);
  EXPECT_EQ(disk.files.at(disk.Find(last.substr(0, last.rfind(u'/')) + u"/last")).entries.count(u"renamed"),
            1u);
}

TEST(TreeWalkTest, ListsTheSameTreeWhateverTheJobs) {
  Disk disk;
  std::u16string deep;
  for (int level = 0; level < 40; ++level) disk.Make(deep += u"deep/");
  for (char16_t a = u'a'; a <= u'l'; ++a) {
    disk.Make(std::u16string{a, u'/'});
    for (char16_t b = u'a'; b <= u'f'; ++b) {
      disk.Make(std::u16string{a, u'/'} + b + u'/');
      disk.Make(std::u16string{a, u'/'} + b + u"/file");
    }
  }
  disk.Make(u"a/mounted%");
  disk.Make(u"a/mounted/hidden");
  disk.Make(u"b/link@");
  const auto list = [&](unsigned jobs) {
    auto tree = Open(disk);
    std::vector<TreeError> errors;
    const TreeListing& listing = tree->List(errors, [](size_t) { return Go::kOn; }, jobs);
    std::vector<std::u16string> lines;
    for (uint32_t node = 0; node < listing.entries.size(); ++node) {
      const TreeEntry& entry = listing.entries[node];
      lines.push_back(std::u16string(listing.Name(node)) + u" in " +
                      std::u16string(1, static_cast<char16_t>(entry.parent)));
    }
    EXPECT_TRUE(errors.empty());
    // The walk's own chain still renames at the bottom.
    EXPECT_EQ(tree->Rename(Node(listing, deep.substr(0, deep.size() - 1)), u"last"), 0u);
    disk.Move(deep.substr(0, deep.size() - 5) + u"last", deep.substr(0, deep.size() - 1));
    return lines;
  };
  const std::vector<std::u16string> one = list(1);
  EXPECT_EQ(one.size(), 40u + 12 + 12 * 6 * 2 + 2);
  for (const unsigned jobs : {2u, 8u}) EXPECT_EQ(list(jobs), one) << jobs << " jobs";
}

TEST(TreeWalkTest, RenamesInFlightTogetherAreToldOfInOrderAndAStopStartsNoMore) {
  for (const auto& run : {std::pair{1u, false}, {4u, false}, {4u, true}}) {
    const unsigned jobs = run.first;
    const bool stopSeenByNext = run.second;
    Disk disk;
    for (char16_t d = u'a'; d <= u'f'; ++d) {
      disk.Make(std::u16string{d, u'/'});
      for (char16_t f = u'0'; f <= u'5'; ++f) disk.Make(std::u16string{d, u'/', f});
    }
    auto tree = Open(disk);
    std::vector<TreeError> errors;
    const TreeListing& listing = tree->List(errors, [](size_t) { return Go::kOn; }, jobs);
    // As a fit renames: a directory's entries, then the directory.
    std::vector<uint32_t> order;
    for (char16_t d = u'a'; d <= u'f'; ++d) {
      for (char16_t f = u'0'; f <= u'5'; ++f) order.push_back(Node(listing, {d, u'/', f}));
      order.push_back(Node(listing, {d}));
    }
    std::vector<size_t> told;
    tree->Renames(
        order.size(), jobs,
        [&](size_t index, Tree::RenameOrder& rename) {
          if (stopSeenByNext && told.size() >= 20) return Go::kStop;
          rename.node = order[index];
          rename.newName = std::u16string(listing.Name(order[index])) + u"-new";
          return Go::kOn;
        },
        [&](size_t index, ErrorCode error) {
          EXPECT_EQ(error, 0u) << index;
          told.push_back(index);
          return told.size() == 20 && !stopSeenByNext ? Go::kStop : Go::kOn;
        });
    // Every one started is told of, in order (one that was waiting for
    // another when the stop came never starts: a gap); none starts after
    // the stop but those already in flight.
    ASSERT_GE(told.size(), 20u);
    EXPECT_LE(told.size(), 20u + jobs - 1);
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(told[i], i);
    for (size_t i = 1; i < told.size(); ++i) EXPECT_LT(told[i - 1], told[i]);
    EXPECT_LT(told.back(), 20u + jobs);
    size_t renamed = 0;
    for (const auto& [id, file] : disk.files) {
      for (const auto& [name, entry] : file.entries) renamed += name.size() > 4;
    }
    EXPECT_EQ(renamed, told.size()) << jobs << " jobs";
  }
}

// What another program does to the tree between the listing and the
// renames, and what the renames in it then meet.
TEST(TreeWalkTest, ARenameOnlyWhereTheListingSawTheDirectory) {
  const struct {
    const char* what;
    void (*change)(Disk&);
    ErrorCode inside, itself;  // a rename in "a/b", and of "a/b" itself
  } cases[] = {
      {"nothing", [](Disk&) {}, 0, 0},
      {"b moved out and another put in its place",
       [](Disk& disk) {
         disk.Move(u"a/b", u"elsewhere");
         disk.Make(u"a/b/");
       },
       116, 116},
      {"b swapped for a link",
       [](Disk& disk) {
         disk.Move(u"a/b", u"elsewhere");
         disk.Make(u"a/b@");
       },
       40, 116},
      {"a swapped for a link", [](Disk& disk) {
         disk.Move(u"a", u"elsewhere");
         disk.Make(u"a@");
       },
       40, 40},
  };
  for (const auto& c : cases) {
    Disk disk;
    disk.Make(u"a/");
    disk.Make(u"a/b/");
    disk.Make(u"a/b/long-name");
    auto tree = Open(disk);
    std::vector<TreeError> errors;
    const TreeListing& listing = tree->List(errors, [](size_t) { return Go::kOn; }, 1);
    c.change(disk);
    EXPECT_EQ(tree->Rename(Node(listing, u"a/b/long-name"), u"short"), c.inside) << c.what;
    EXPECT_EQ(tree->Rename(Node(listing, u"a/b"), u"c"), c.itself) << c.what;
  }
}

TEST(TreeWalkTest, ADirectoryMovedAwayMidRunHasNothingMoreRenamedInIt) {
  for (const bool undo : {false, true}) {
    Disk disk;
    disk.Make(u"a/");
    disk.Make(u"a/b/");
    for (const char16_t* name : {u"one", u"two"}) disk.Make(std::u16string(u"a/b/") + name);
    auto tree = Open(disk);
    std::vector<TreeError> errors;
    const TreeListing& listing = tree->List(errors, [](size_t) { return Go::kOn; }, 1);
    const auto rename = [&](const char16_t* name) {
      return undo ? tree->RenameBelow(u"a/b", name, std::u16string(name) + u"-back")
                  : tree->Rename(Node(listing, std::u16string(u"a/b/") + name), u"x");
    };
    EXPECT_EQ(rename(u"one"), 0u);
    disk.Move(u"a", u"moved");  // an ancestor, out of the tree's way
    disk.Make(u"a/");
    disk.Make(u"a/b/");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // as a slow write of a line
    EXPECT_EQ(rename(u"two"), 116u) << (undo ? "undo" : "fit");
    EXPECT_EQ(disk.files.at(disk.Find(u"moved/b")).entries.count(u"two"), 1u);
  }
}

}  // namespace
}  // namespace platform
