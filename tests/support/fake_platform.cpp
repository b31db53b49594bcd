#include "support/fake_platform.h"

#include "naming/windows_names.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

bool failAllocations = false;

}  // namespace

// Every allocation of the test program comes here, so that a test can make
// memory run out at the moment it chooses.
void* operator new(std::size_t size) {
  if (!failAllocations) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace platform {
namespace {

// Delivers `text` by the path services' convention.
uint32_t Deliver(const std::u16string& text, uint32_t room,
                 char16_t* destination) {
  if (text.size() >= room) return static_cast<uint32_t>(text.size() + 1);
  std::memmove(destination, text.c_str(), sizeof(char16_t) * (text.size() + 1));
  return static_cast<uint32_t>(text.size());
}

}  // namespace

void FailAllocations(bool fail) { failAllocations = fail; }

// What the fake does stands in for the system, whose work takes none of the
// program's memory: allocations in it never fail.
class SystemWork {
 public:
  SystemWork() : failing_(failAllocations) { failAllocations = false; }
  ~SystemWork() { failAllocations = failing_; }

 private:
  const bool failing_;
};

class FakeDirectory final : public Directory {
 public:
  FakeDirectory(FakePlatform& system, std::u16string directory)
      : system_(system), directory_(std::move(directory)) {}

  ErrorCode Next(Entry& entry, bool& end) override {
    end = next_ >= system_.listing.size();
    if (end) return system_.listingError;
    const FakePlatform::FakeEntry& listed = system_.listing[next_++];
    entry.name = listed.name;
    entry.isDirectory = listed.isDirectory;
    entry.isOutput = listed.isOutput;
    return 0;
  }

  ErrorCode Rename(const char16_t* oldPath, const char16_t* newPath,
                   size_t nameStart) override {
    std::u16string oldName, newName;
    {
      const SystemWork work;
      if (const ErrorCode error = Split(oldPath, nameStart, oldName)) return error;
      if (const ErrorCode error = Split(newPath, nameStart, newName)) return error;
    }
    return system_.Move(oldName, newName);
  }

  ErrorCode LookUp(const char16_t* path, size_t nameStart) override {
    const SystemWork work;
    ++system_.lookUpCalls;
    std::u16string name;
    if (const ErrorCode error = Split(path, nameStart, name)) return error;
    return system_.present_.count(system_.Key(name)) != 0 ? system_.systemTraits.targetExists
                                                            : 0;
  }

  ErrorCode RenameBarrier() override { return system_.barrier; }

  ErrorCode RenameRefusal(const char16_t* path, size_t nameStart) override {
    std::u16string name;
    if (const ErrorCode error = Split(path, nameStart, name)) return error;
    const auto refusal = system_.refusals.find(name);
    return refusal == system_.refusals.end() ? 0 : refusal->second;
  }

 private:
  // The name of `path`, which must name an entry of the listed directory.
  ErrorCode Split(std::u16string_view path, size_t nameStart,
                  std::u16string& name) const {
    if (path.substr(0, nameStart) != directory_) return 87;  // ERROR_INVALID_PARAMETER
    name = path.substr(nameStart);
    return 0;
  }

  FakePlatform& system_;
  const std::u16string directory_;  // the directory path and its separator
  size_t next_ = 0;
};

Kind FakePlatform::KindOf(const char16_t* path) {
  const auto kind = kinds.find(path);
  return kind == kinds.end() ? Kind::kNothing : kind->second;
}

// The listing as a tree: "sub/name" is an entry of "sub".
class FakeTree final : public Tree {
 public:
  explicit FakeTree(FakePlatform& system) : system_(system) {}

  const TreeListing& List(std::vector<TreeError>& errors, const Progress&, unsigned) override {
    const SystemWork work;
    std::map<std::u16string, uint32_t> directories;  // by path
    std::map<std::u16string, bool> skipped;           // directories not listed
    for (const FakePlatform::FakeEntry& entry : system_.listing) {
      const size_t slash = entry.name.rfind(u'/');
      const std::u16string above = slash == std::u16string::npos ? u"" : entry.name.substr(0, slash);
      uint32_t parent = TreeEntry::kTop;
      if (!above.empty()) {
        if (skipped.count(above) != 0 || directories.count(above) == 0) continue;
        parent = directories[above];
      }
      const std::u16string name = entry.name.substr(slash + 1);
      const uint32_t self = static_cast<uint32_t>(listing_.entries.size());
      listing_.entries.push_back({parent, static_cast<uint32_t>(listing_.names.size()),
                                  static_cast<uint32_t>(name.size()), entry.isDirectory, false,
                                  entry.isOutput});
      listing_.names += name;
      paths_.push_back(entry.name);
      if (!entry.isDirectory) continue;
      const auto unlistable = system_.unlistable.find(entry.name);
      if (unlistable != system_.unlistable.end()) {
        errors.push_back({self, unlistable->second.first, unlistable->second.second});
        skipped[entry.name] = true;
      } else {
        directories[entry.name] = self;
      }
    }
    return listing_;
  }

  ErrorCode Rename(uint32_t node, std::u16string_view newName) override {
    const std::u16string& path = paths_[node];
    std::u16string above, renamed;
    {
      const SystemWork work;
      const size_t slash = path.rfind(u'/');
      above = slash == std::u16string::npos ? u"" : path.substr(0, slash);
      renamed = (above.empty() ? above : above + u'/') + std::u16string(newName);
    }
    const auto& changed = system_.changed;
    if (std::find(changed.begin(), changed.end(), above) != changed.end()) {
      return system_.systemTraits.changedDirectory;
    }
    return system_.Move(path, renamed);
  }

  ErrorCode RenameRefusal(uint32_t node) override {
    const auto refusal = system_.refusals.find(paths_[node]);
    return refusal == system_.refusals.end() ? system_.barrier : refusal->second;
  }

  ErrorCode ReadLink(uint32_t, std::u16string& target) override {
    target.clear();
    return 0;
  }

  bool OnShare() override { return false; }

  void Renames(size_t count, unsigned, const NextRename& next, const Renamed& done) override {
    RenameEach(count, next, done);
  }

  ErrorCode LookBelow(std::u16string_view below, std::u16string_view name) override {
    std::u16string path(below);
    if (!path.empty()) path += u'/';
    path += name;
    return system_.present_.count(system_.Key(path)) != 0 ? 0 : 2;  // ERROR_FILE_NOT_FOUND
  }

  ErrorCode RealPath(std::u16string& path) override {
    path = system_.openedPath;
    return 0;
  }

  ErrorCode RenameBelow(std::u16string_view below, std::u16string_view oldName,
                        std::u16string_view newName) override {
    std::u16string from, to;
    {
      const SystemWork work;
      std::u16string above(below);
      if (!above.empty()) above += u'/';
      from = above + std::u16string(oldName);
      to = above + std::u16string(newName);
    }
    return system_.Move(from, to);
  }

 private:
  FakePlatform& system_;
  TreeListing listing_;
  std::vector<std::u16string> paths_;  // of each node below the directory
};

ErrorCode FakePlatform::OpenTree(const char16_t* path, std::unique_ptr<Tree>& tree) {
  openedPath = path;
  if (openError != 0) return openError;
  Fill();
  tree = std::make_unique<FakeTree>(*this);
  return 0;
}

ErrorCode FakePlatform::Move(const std::u16string& oldName, const std::u16string& newName) {
  {
    const SystemWork work;
    ++renameCalls;
    if (renameError) {
      if (const ErrorCode code = renameError(oldName, newName)) return code;
    }
    const auto old = present_.find(Key(oldName));
    if (old == present_.end() || old->second.name != oldName) return 2;  // ERROR_FILE_NOT_FOUND
    if (present_.count(Key(newName)) != 0) return systemTraits.targetExists;
    const bool isDirectory = old->second.isDirectory;
    present_.erase(old);
    present_.emplace(Key(newName), FakeEntry{newName, isDirectory});
  }
  // After the system's work: the hook may make memory run out.
  if (renamed) renamed(oldName, newName);
  return 0;
}

void FakePlatform::Fill() {
  present_.clear();
  for (const FakeEntry& entry : listing) present_[Key(entry.name)] = entry;
  for (const std::u16string& name : hidden) present_[Key(name)] = FakeEntry{name, false};
}

std::u16string FakePlatform::Key(const std::u16string& name) const {
  if (!ignoresCase) return name;
  std::u16string upper;
  naming::Upcase(name, upper);
  return upper;
}

std::vector<std::u16string> FakePlatform::Names() const {
  std::vector<std::u16string> names;
  for (const auto& [key, entry] : present_) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

ErrorCode FakePlatform::AbsolutePath(const char16_t* path, uint32_t room,
                                     char16_t* destination, uint32_t& length) {
  absoluteRooms.push_back(room);
  if (absoluteError != 0) return absoluteError;
  length = absoluteRoomNeeded != 0
               ? absoluteRoomNeeded
               : Deliver(absoluteForm.empty() ? std::u16string(path) : absoluteForm, room,
                         destination);
  return 0;
}

ErrorCode FakePlatform::LongForm(char16_t* buffer, uint32_t room, uint32_t& length) {
  longFormRooms.push_back(room);
  if (longFormError != 0) return longFormError;
  length = Deliver(longForm.empty() ? std::u16string(buffer) : longForm, room, buffer);
  return 0;
}

ErrorCode FakePlatform::OpenDirectory(const char16_t* path,
                                      std::unique_ptr<Directory>& directory) {
  openedPath = path;
  if (openError != 0) return openError;
  Fill();
  directory = std::make_unique<FakeDirectory>(*this, openedPath);
  return 0;
}

ErrorCode FakePlatform::ReadFile(const char16_t* path, const Pieces& take) {
  std::string bytes = standardInput;
  if (path != nullptr) {
    const auto file = files.find(path);
    if (file == files.end()) return 2;  // ERROR_FILE_NOT_FOUND
    bytes = file->second;
  }
  // In small pieces, as a pipe may deliver them.
  for (size_t at = 0; at < bytes.size(); at += 5) {
    if (take(std::string_view(bytes).substr(at, 5)) == Go::kStop) return 0;
  }
  return 0;
}

ErrorCode FakePlatform::WriteLine(Stream stream, std::u16string_view line) {
  const SystemWork work;
  if (writeError) {
    if (const ErrorCode error = writeError(stream)) return error;
  }
  // A line feed inside ends a line too, as on a system.
  for (size_t start = 0;;) {
    const size_t end = std::min(line.find(u'\n', start), line.size());
    (stream == Stream::Out ? out : err).emplace_back(line.substr(start, end - start));
    if (end == line.size()) return 0;
    start = end + 1;
  }
}

}  // namespace platform
