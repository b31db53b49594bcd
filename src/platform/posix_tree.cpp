// A tree on POSIX, walked one name at a time from descriptors known to be
// the directories listed: each directory is opened relative to its parent
// with one name, never following a link, and checked to be on the tree's
// mount and to be the file the listing saw. Only the last few directories
// of the walk stay open; one closed earlier is reached again through the
// ".." of its child, checked the same way, so any depth works with a few
// descriptors.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/posix_files.h"
#include "platform/posix_internal.h"
#include "platform/posix_rename.h"
#include "platform/tree_walk.h"
#include "platform/utf8.h"

namespace platform {
namespace {

constexpr uint32_t kTop = TreeEntry::kTop;

// The directories from the top of the tree down to the one in hand.
class DirectoryChain {
 public:
  struct Level {
    uint32_t node;        // its entry in the listing (kTop for the top)
    std::string name;     // its name in the level above
    Identity identity;
    struct stat status;
    Descriptor fd;        // closed for all but the last few levels
    ErrorCode unreadable; // why it could be entered but not listed, or 0
  };

  // Directories open at once, the top included.
  static constexpr size_t kOpenAtMost = 16;

  DirectoryChain(Descriptor top, const Identity& identity, const struct stat& status) {
    levels_.push_back({kTop, {}, identity, status, std::move(top), 0});
  }

  size_t depth() const { return levels_.size() - 1; }
  const Level& at(size_t depth) const { return levels_[depth]; }
  const Level& deepest() const { return levels_.back(); }
  OpenedDirectory Here() const { return {levels_.back().fd.get(), levels_.back().status}; }

  // Enters the directory `name` of the deepest level: a directory, not a
  // link, on the top's mount, and the file `expected` when it is given.
  ErrorCode Down(uint32_t node, const std::string& name, const Identity* expected) {
    Level level{node, name, {}, {}, Descriptor(), 0};
    if (const ErrorCode error = Open(levels_.back().fd.get(), name.c_str(), level)) return error;
    if (level.identity.OtherMount(levels_.front().identity)) return EXDEV;
    if (expected != nullptr && !expected->SameFile(level.identity)) return ESTALE;
    levels_.push_back(std::move(level));
    if (++open_ > kOpenAtMost) CloseOne();
    return 0;
  }

  // Leaves the deepest level. The one above, if its descriptor was closed,
  // is opened again through "..", and must be the same directory; where it
  // is not, the chain goes up further, to a level still open, and the
  // caller comes down again by names.
  void Up() {
    if (depth() == 0) return;
    Level child = std::move(levels_.back());
    levels_.pop_back();
    --open_;
    Level& parent = levels_.back();
    if (parent.fd.valid()) return;
    Level reopened{parent.node, parent.name, {}, {}, Descriptor(), 0};
    if (Open(child.fd.get(), "..", reopened) == 0 &&
        reopened.identity.SameFile(parent.identity)) {
      parent.fd = std::move(reopened.fd);
      parent.unreadable = reopened.unreadable;
      ++open_;
      return;
    }
    while (!levels_.back().fd.valid()) levels_.pop_back();
  }

 private:
  // Opens `name` in `at` as a directory, without following a link; where
  // it may be searched but not read, for renames only.
  static ErrorCode Open(int at, const char* name, Level& level) {
    constexpr int kFlags = O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    level.fd = Descriptor(openat(at, name, O_RDONLY | kFlags));
    if (!level.fd.valid() && errno == EACCES) {
      level.unreadable = EACCES;
      level.fd = Descriptor(openat(at, name, O_PATH | kFlags));
    }
    if (!level.fd.valid()) {
      // A link says so, whatever the system answered for it.
      struct stat status;
      if (errno == ENOTDIR && fstatat(at, name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(status.st_mode)) {
        return ELOOP;
      }
      return level.unreadable != 0 ? level.unreadable : Errno();
    }
    if (const ErrorCode error = IdentityOf(level.fd.get(), "", level.identity)) return error;
    return fstat(level.fd.get(), &level.status) != 0 ? Errno() : 0;
  }

  // Closes the descriptor of the highest level still open but the top.
  void CloseOne() {
    for (size_t i = 1; i + 1 < levels_.size(); ++i) {
      if (levels_[i].fd.valid()) {
        levels_[i].fd.Reset();
        --open_;
        return;
      }
    }
  }

  std::vector<Level> levels_;
  size_t open_ = 1;
};

class PosixTree final : public Tree {
 public:
  PosixTree(Descriptor top, const Identity& identity, const struct stat& status)
      : chain_(std::move(top), identity, status) {}

  const TreeListing& List(std::vector<TreeError>& errors, const Progress& goOn) override {
    const OutputFiles outputs;
    ListDepthFirst(
        listing_, errors, goOn,
        [&](std::vector<uint32_t>& subdirectories) { ListHere(outputs, subdirectories, errors); },
        [this](uint32_t node) { return MoveTo(node); }, [this] { chain_.Up(); });
    return listing_;
  }

  ErrorCode Rename(uint32_t node, std::u16string_view newName) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    NameOf(node, oldName_);
    EncodeName(newName, newName_);
    const ErrorCode error = renamer_.Rename(chain_.Here(), oldName_.c_str(), newName_.c_str());
    if (error == 0 && listing_.entries[node].isDirectory) renamed_[node] = newName_;
    return error;
  }

  ErrorCode RenameRefusal(uint32_t node) override {
    const uint32_t parent = listing_.entries[node].parent;
    if (const ErrorCode error = MoveTo(parent)) return error;
    // Asked once for each directory: its entries come one after another.
    if (!barrierKnown_ || barrierOf_ != parent) {
      barrierKnown_ = true;
      barrierOf_ = parent;
      barrier_ = RenameBarrier(chain_.Here().fd);
    }
    if (barrier_ != 0) return barrier_;
    NameOf(node, oldName_);
    return EntryRefusal(chain_.Here(), oldName_.c_str());
  }

  ErrorCode ReadLink(uint32_t node, std::u16string& target) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    NameOf(node, oldName_);
    std::string bytes(256, '\0');
    for (;;) {
      const ssize_t length = readlinkat(chain_.Here().fd, oldName_.c_str(), &bytes[0], bytes.size());
      if (length < 0) return Errno();
      if (static_cast<size_t>(length) < bytes.size()) {
        bytes.resize(static_cast<size_t>(length));
        break;
      }
      bytes.resize(2 * bytes.size());
    }
    DecodeName(bytes, target);
    return 0;
  }

  ErrorCode RenameBelow(std::u16string_view below, std::u16string_view oldName,
                        std::u16string_view newName) override {
    route_.clear();
    for (size_t start = 0; start < below.size();) {
      const size_t slash = std::min(below.find(u'/', start), below.size());
      route_.emplace_back();
      EncodeName(below.substr(start, slash - start), route_.back());
      start = slash + 1;
    }
    // The directories of the last line are kept as far as this one shares
    // them.
    if (const ErrorCode error = WalkTo(
            chain_, route_.size(),
            [this](const DirectoryChain::Level& level, size_t i) { return level.name == route_[i]; },
            [this](size_t i) { return chain_.Down(kTop, route_[i], nullptr); })) {
      return error;
    }
    EncodeName(oldName, oldName_);
    EncodeName(newName, newName_);
    return renamer_.Rename(chain_.Here(), oldName_.c_str(), newName_.c_str());
  }

 private:
  // Lists the deepest directory of the chain, appending its entries, and
  // notes its subdirectories on the tree's mount to be listed next.
  void ListHere(const OutputFiles& outputs, std::vector<uint32_t>& subdirectories,
                std::vector<TreeError>& errors) {
    const DirectoryChain::Level& here = chain_.deepest();
    const uint32_t node = here.node;
    if (here.unreadable != 0) {
      errors.push_back({node, here.unreadable, false});
      return;
    }
    const size_t firstEntry = listing_.entries.size(), firstName = listing_.names.size();
    const size_t firstDirectory = directories_.size();
    const int fd = here.fd.get();
    const Identity& top = chain_.at(0).identity;
    size_t read = 0;
    const ErrorCode error = ReadListing(fd, read, [&](const ListedRecord& record) {
      if (record.name == "." || record.name == "..") return;
      const uint32_t self = static_cast<uint32_t>(listing_.entries.size());
      bool enter = false;
      if (record.type == DT_DIR) {
        // A mount point, a bind mount included, is an entry of this tree,
        // not a part of it. One that cannot even be looked at is tried, and
        // says why it cannot be listed.
        Identity identity;
        const ErrorCode unknown = IdentityOf(fd, record.name.data(), identity);
        enter = unknown != 0 || !identity.OtherMount(top);
        if (enter) directories_.push_back({self, unknown != 0 ? 0 : identity.inode});
      }
      DecodeName(record.name, name_);
      listing_.entries.push_back({node, static_cast<uint32_t>(listing_.names.size()),
                                  static_cast<uint32_t>(name_.size()), record.type == DT_DIR,
                                  record.type == DT_LNK,
                                  record.type != DT_DIR && outputs.Holds(top.device, record.inode)});
      listing_.names += name_;
      if (enter) subdirectories.push_back(self);
    });
    if (error == 0) return;
    // What was read of a listing that failed is not enough to plan with.
    errors.push_back({node, error, read > 0});
    listing_.entries.resize(firstEntry);
    listing_.names.resize(firstName);
    directories_.resize(firstDirectory);
    subdirectories.clear();
  }

  // Brings the chain to the directory `target` (kTop for the top): up to
  // the last directory it shares with the way there, then down one name at
  // a time, each directory checked to be the one listed.
  ErrorCode MoveTo(uint32_t target) {
    WayTo(listing_, target, way_);
    return WalkTo(
        chain_, way_.size(),
        [this](const DirectoryChain::Level& level, size_t i) { return level.node == way_[i]; },
        [this](size_t i) {
          const uint32_t node = way_[i];
          NameOf(node, stepName_);
          Identity expected = chain_.at(0).identity;
          const auto listed = std::lower_bound(
              directories_.begin(), directories_.end(), node,
              [](const ListedDirectory& directory, uint32_t n) { return directory.node < n; });
          const bool known =
              listed != directories_.end() && listed->node == node && listed->inode != 0;
          if (known) expected.inode = listed->inode;
          return chain_.Down(node, stepName_, known ? &expected : nullptr);
        });
  }

  // The name of `node` as it is now, in bytes.
  void NameOf(uint32_t node, std::string& out) const {
    const auto renamed = renamed_.find(node);
    if (renamed != renamed_.end()) {
      out = renamed->second;
    } else {
      EncodeName(listing_.Name(node), out);
    }
  }

  // A directory of the listing that is entered: its entry and the file
  // number it had when its parent was listed (0 when that was not known).
  struct ListedDirectory {
    uint32_t node;
    ino_t inode;
  };

  DirectoryChain chain_;
  TreeListing listing_;
  std::vector<ListedDirectory> directories_;  // in the order of their entries
  std::unordered_map<uint32_t, std::string> renamed_;  // directories' new names
  NoReplaceRenamer renamer_;
  bool barrierKnown_ = false;
  uint32_t barrierOf_ = 0;
  ErrorCode barrier_ = 0;
  std::vector<uint32_t> way_;
  std::vector<std::string> route_;
  std::u16string name_;
  std::string stepName_, oldName_, newName_;
};

}  // namespace

std::unique_ptr<Tree> OpenPosixTree(const std::string& path) {
  Descriptor top = OpenPath(path, O_RDONLY | O_DIRECTORY);
  if (!top.valid()) return nullptr;
  Identity identity;
  struct stat status;
  if (const ErrorCode error = IdentityOf(top.get(), "", identity)) {
    errno = static_cast<int>(error);
    return nullptr;
  }
  if (fstat(top.get(), &status) != 0) return nullptr;
  return std::make_unique<PosixTree>(std::move(top), identity, status);
}

}  // namespace platform
