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

  bool Next(Entry& entry) override {
    if (next_ >= system_.listing.size()) return false;
    const FakePlatform::FakeEntry& listed = system_.listing[next_++];
    entry.name = listed.name;
    entry.isDirectory = listed.isDirectory;
    entry.isOutput = listed.isOutput;
    return true;
  }

  ErrorCode Rename(const char16_t* oldPath, const char16_t* newPath,
                   size_t nameStart) override {
    std::u16string oldName, newName;
    const ErrorCode error = Move(oldPath, newPath, nameStart, oldName, newName);
    if (error == 0 && system_.renamed) system_.renamed(oldName, newName);
    return error;
  }

  ErrorCode LookUp(const char16_t* path, size_t nameStart) override {
    const SystemWork work;
    ++system_.lookUpCalls;
    std::u16string name;
    if (const ErrorCode error = Split(path, nameStart, name)) return error;
    return system_.present_.count(system_.Key(name)) != 0 ? system_.systemTraits.targetExists
                                                            : 0;
  }

  ErrorCode ListingError() const override {
    return next_ >= system_.listing.size() ? system_.listingError : 0;
  }

  ErrorCode RenameBarrier() override { return system_.barrier; }

  ErrorCode RenameRefusal(const char16_t* path, size_t nameStart) override {
    std::u16string name;
    if (const ErrorCode error = Split(path, nameStart, name)) return error;
    const auto refusal = system_.refusals.find(name);
    return refusal == system_.refusals.end() ? 0 : refusal->second;
  }

 private:
  ErrorCode Move(const char16_t* oldPath, const char16_t* newPath, size_t nameStart,
                 std::u16string& oldName, std::u16string& newName) {
    const SystemWork work;
    ++system_.renameCalls;
    if (const ErrorCode error = Split(oldPath, nameStart, oldName)) return error;
    if (const ErrorCode error = Split(newPath, nameStart, newName)) return error;
    if (system_.renameError) {
      if (const ErrorCode code = system_.renameError(oldName, newName)) return code;
    }
    auto& present = system_.present_;
    const auto old = present.find(system_.Key(oldName));
    if (old == present.end() || old->second.name != oldName) return 2;  // ERROR_FILE_NOT_FOUND
    if (present.count(system_.Key(newName)) != 0) return system_.systemTraits.targetExists;
    const bool isDirectory = old->second.isDirectory;
    present.erase(old);
    present.emplace(system_.Key(newName), FakePlatform::FakeEntry{newName, isDirectory});
    return 0;
  }

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

ErrorCode FakePlatform::ListTree(const char16_t* /*path*/, std::vector<TreeEntry>& entries,
                                 std::u16string& names) {
  if (openError != 0) return openError;
  for (const FakeEntry& entry : listing) {
    entries.push_back({TreeEntry::kTop, static_cast<uint32_t>(names.size()),
                       static_cast<uint32_t>(entry.name.size()), entry.isDirectory,
                       entry.isOutput});
    names += entry.name;
  }
  return listingError;
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

uint32_t FakePlatform::AbsolutePath(const char16_t* path, uint32_t room,
                                    char16_t* destination) {
  absoluteRooms.push_back(room);
  if (absoluteError != 0) return Fail(absoluteError);
  if (absoluteRoomNeeded != 0) return absoluteRoomNeeded;
  return Deliver(absoluteForm.empty() ? std::u16string(path) : absoluteForm,
                 room, destination);
}

uint32_t FakePlatform::LongForm(char16_t* buffer, uint32_t room) {
  longFormRooms.push_back(room);
  if (longFormError != 0) return Fail(longFormError);
  return Deliver(longForm.empty() ? std::u16string(buffer) : longForm, room,
                 buffer);
}

std::unique_ptr<Directory> FakePlatform::OpenDirectory(const char16_t* pattern) {
  openedPattern = pattern;
  if (openError != 0) {
    Fail(openError);
    return nullptr;
  }
  present_.clear();
  for (const FakeEntry& entry : listing) present_[Key(entry.name)] = entry;
  for (const std::u16string& name : hidden) present_[Key(name)] = FakeEntry{name, false};
  std::u16string directory = openedPattern;
  directory.pop_back();  // the "*"
  return std::make_unique<FakeDirectory>(*this, std::move(directory));
}

ErrorCode FakePlatform::ReadFile(const char16_t* path, std::string& bytes) {
  if (path == nullptr) {
    bytes = standardInput;
    return 0;
  }
  const auto file = files.find(path);
  if (file == files.end()) return 2;  // ERROR_FILE_NOT_FOUND
  bytes = file->second;
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
