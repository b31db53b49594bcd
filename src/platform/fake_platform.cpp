#include "platform/fake_platform.h"

#include <cstring>

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

class FakeDirectory final : public Directory {
 public:
  FakeDirectory(FakePlatform& system, std::u16string directory)
      : system_(system), directory_(std::move(directory)) {}

  bool Next(Entry& entry) override {
    if (next_ >= system_.listing.size()) return false;
    const FakePlatform::FakeEntry& listed = system_.listing[next_++];
    entry.name = listed.name;
    entry.isDirectory = listed.isDirectory;
    return true;
  }

  bool Rename(const char16_t* oldPath, const char16_t* newPath,
              size_t nameStart) override {
    ++system_.renameCalls;
    const std::u16string_view oldFull(oldPath), newFull(newPath);
    // Both paths must name entries of the listed directory.
    if (oldFull.substr(0, nameStart) != directory_ ||
        newFull.substr(0, nameStart) != directory_) {
      return system_.Fail(87);  // ERROR_INVALID_PARAMETER
    }
    const std::u16string oldName(oldFull.substr(nameStart));
    const std::u16string newName(newFull.substr(nameStart));
    if (system_.renameError) {
      if (const ErrorCode code = system_.renameError(oldName, newName)) {
        return system_.Fail(code);
      }
    }
    auto& present = system_.present_;
    const auto old = present.find(oldName);
    if (old == present.end()) return system_.Fail(2);  // ERROR_FILE_NOT_FOUND
    if (present.count(newName) != 0) return system_.Fail(system_.targetExists);
    const bool isDirectory = old->second;
    present.erase(old);
    present.emplace(newName, isDirectory);
    return true;
  }

 private:
  FakePlatform& system_;
  const std::u16string directory_;  // the directory path and its separator
  size_t next_ = 0;
};

std::vector<std::u16string> FakePlatform::Names() const {
  std::vector<std::u16string> names;
  for (const auto& [name, isDirectory] : present_) names.push_back(name);
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
  for (const FakeEntry& entry : listing) present_[entry.name] = entry.isDirectory;
  for (const std::u16string& name : hidden) present_[name] = false;
  std::u16string directory = openedPattern;
  directory.pop_back();  // the "*"
  return std::make_unique<FakeDirectory>(*this, std::move(directory));
}

void FakePlatform::WriteLine(Stream stream, std::u16string_view line) {
  (stream == Stream::Out ? out : err).emplace_back(line);
}

}  // namespace platform
