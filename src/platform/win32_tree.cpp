// A tree on Windows, walked as closely to one name at a time as Win32
// allows: each directory is opened without following a reparse point and
// checked to be on the tree's volume and to be the file the listing saw
// (its file number); it is listed through its handle, and an entry is
// renamed through its own handle into that directory's handle. Only the
// last few directories of the walk stay open.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/tree_walk.h"
#include "platform/win32_api.h"

namespace platform {
namespace {

constexpr uint32_t kTop = TreeEntry::kTop;
constexpr auto kIdBothDirectoryInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(10);
constexpr auto kIdBothDirectoryRestartInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(11);
constexpr auto kFileRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
constexpr DWORD kReparseTagSymlink = 0xA000000C;
constexpr DWORD kReparseTagMountPoint = 0xA0000003;
// "The create operation stopped after reaching a symbolic link."
constexpr ErrorCode kStoppedOnLink = 681;

// What a 32-bit build can get wrong and a 64-bit one cannot show: the call
// into the system carries the system's convention (on x86 the callee pops
// its arguments; a mismatch corrupts the stack), and the rename record is
// the system's FILE_RENAME_INFORMATION (a flag, a handle, a length, the
// name) at the offsets this width gives it.
using SetInformation = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                        FILE_INFORMATION_CLASS);
static_assert(std::is_same<decltype(&NtSetInformationFile), SetInformation>::value,
              "NtSetInformationFile is called the system's way");
static_assert(offsetof(FILE_RENAME_INFO, RootDirectory) == sizeof(HANDLE) &&
                  offsetof(FILE_RENAME_INFO, FileNameLength) == 2 * sizeof(HANDLE) &&
                  offsetof(FILE_RENAME_INFO, FileName) == 2 * sizeof(HANDLE) + sizeof(ULONG),
              "the rename record is laid out as the system reads it");

bool IsPlain(std::u16string_view name) {
  return name.find_first_of(u"\\/") == std::u16string_view::npos;
}

// A directory as the walk holds it.
struct OpenedPlace {
  Handle handle{INVALID_HANDLE_VALUE};
  DWORD volume = 0;
  ULONGLONG id = 0;
};

// Opens the directory `path` (ending in "\"); with `strict`, refuses a
// reparse point (a link, a junction, a mount point) instead of following it.
ErrorCode OpenPlace(const std::u16string& path, bool strict, OpenedPlace& place) {
  std::u16string name = path;
  if (name.size() > 1 && name.back() == u'\\' && name[name.size() - 2] != u':') name.pop_back();
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (strict ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  place.handle.Reset(CreateFileW(Wide(name.c_str()),
                                 FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, flags, nullptr));
  if (!place.handle.valid()) return GetLastError();
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(place.handle.get(), &information)) return GetLastError();
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  if (strict && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return kStoppedOnLink;
  }
  place.volume = information.dwVolumeSerialNumber;
  place.id = ULONGLONG{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
  return 0;
}

// The directories from the top of the tree down to the one in hand.
class HandleChain {
 public:
  struct Level {
    uint32_t node;
    std::u16string name;
    std::u16string path;  // its full path and "\"
    OpenedPlace place;    // its handle closed for all but the last few levels
  };

  static constexpr size_t kOpenAtMost = 16;

  HandleChain(std::u16string path, OpenedPlace top) {
    levels_.push_back({kTop, {}, std::move(path), std::move(top)});
  }

  size_t depth() const { return levels_.size() - 1; }
  const Level& at(size_t depth) const { return levels_[depth]; }
  const Level& deepest() const { return levels_.back(); }

  // Enters the directory `name` of the deepest level: a plain name, no
  // reparse point, on the top's volume, and the file `expected` when given.
  ErrorCode Down(uint32_t node, std::u16string_view name, const ULONGLONG* expected) {
    if (!IsPlain(name)) return ERROR_INVALID_NAME;
    Level level{node, std::u16string(name), levels_.back().path, OpenedPlace()};
    level.path += name;
    level.path += u'\\';
    if (const ErrorCode error = OpenPlace(level.path, true, level.place)) return error;
    if (level.place.volume != levels_.front().place.volume) return ERROR_NOT_SAME_DEVICE;
    if (expected != nullptr && *expected != level.place.id) return ERROR_FILE_INVALID;
    levels_.push_back(std::move(level));
    if (++open_ > kOpenAtMost) CloseOne();
    return 0;
  }

  // Leaves the deepest level; the one above, if closed, is opened again and
  // must be the same directory, else the chain goes up to a level open.
  void Up() {
    if (depth() == 0) return;
    levels_.pop_back();
    --open_;
    Level& parent = levels_.back();
    if (parent.place.handle.valid()) return;
    OpenedPlace reopened;
    if (OpenPlace(parent.path, true, reopened) == 0 && reopened.id == parent.place.id &&
        reopened.volume == parent.place.volume) {
      parent.place = std::move(reopened);
      ++open_;
      return;
    }
    while (!levels_.back().place.handle.valid()) levels_.pop_back();
  }

 private:
  void CloseOne() {
    for (size_t i = 1; i + 1 < levels_.size(); ++i) {
      if (levels_[i].place.handle.valid()) {
        levels_[i].place.handle.Reset();
        --open_;
        return;
      }
    }
  }

  std::vector<Level> levels_;
  size_t open_ = 1;
};

// The reparse data of a link, as FSCTL_GET_REPARSE_POINT gives it.
struct ReparseData {
  DWORD tag;
  WORD length;
  WORD reserved;
  WORD substituteOffset, substituteLength, printOffset, printLength;
  // A symbolic link has its flags here; a junction its names.
  BYTE rest[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
};

class Win32Tree final : public Tree {
 public:
  Win32Tree(std::u16string path, OpenedPlace top) : chain_(std::move(path), std::move(top)) {}

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
    const std::u16string oldName = NameOf(node);
    const ErrorCode error = RenameHere(oldName, newName);
    if (error == 0 && listing_.entries[node].isDirectory) renamed_[node] = std::u16string(newName);
    return error;
  }

  // Nothing short of renaming tells whether a rename would be refused.
  ErrorCode RenameRefusal(uint32_t node) override {
    return MoveTo(listing_.entries[node].parent);
  }

  ErrorCode ReadLink(uint32_t node, std::u16string& target) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    const std::u16string path = chain_.deepest().path + NameOf(node);
    const Handle link(CreateFileW(Wide(path.c_str()), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!link.valid()) return GetLastError();
    ReparseData data;
    DWORD returned = 0;
    if (!DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, &data, sizeof data,
                         &returned, nullptr)) {
      return GetLastError();
    }
    // The names follow a symbolic link's flags; a junction has none.
    const BYTE* names = data.rest + (data.tag == kReparseTagSymlink ? sizeof(ULONG) : 0);
    const bool print = data.printLength > 0;
    const size_t offset = print ? data.printOffset : data.substituteOffset;
    const size_t length = print ? data.printLength : data.substituteLength;
    if (data.tag != kReparseTagSymlink && data.tag != kReparseTagMountPoint) {
      return ERROR_NOT_A_REPARSE_POINT;
    }
    target.assign(reinterpret_cast<const char16_t*>(names + offset), length / 2);
    if (target.compare(0, 4, u"\\??\\") == 0) target.erase(0, 4);
    return 0;
  }

  ErrorCode RenameBelow(std::u16string_view below, std::u16string_view oldName,
                        std::u16string_view newName) override {
    std::vector<std::u16string_view> route;
    for (size_t start = 0; start < below.size();) {
      const size_t slash = std::min(below.find(u'/', start), below.size());
      route.push_back(below.substr(start, slash - start));
      start = slash + 1;
    }
    if (const ErrorCode error = WalkTo(
            chain_, route.size(),
            [&route](const HandleChain::Level& level, size_t i) { return level.name == route[i]; },
            [&](size_t i) { return chain_.Down(kTop, route[i], nullptr); })) {
      return error;
    }
    return RenameHere(oldName, newName);
  }

 private:
  // Renames an entry of the deepest directory: through its own handle into
  // the directory's handle, or where the system does not take that (some
  // network file systems), by the full paths.
  ErrorCode RenameHere(std::u16string_view oldName, std::u16string_view newName) {
    if (!IsPlain(oldName) || !IsPlain(newName)) return ERROR_INVALID_NAME;
    const HandleChain::Level& here = chain_.deepest();
    const std::u16string oldPath = here.path + std::u16string(oldName);
    if (!renameByHandleRefused_) {
      const Handle entry(CreateFileW(Wide(oldPath.c_str()), DELETE | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
      if (!entry.valid()) return GetLastError();
      std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + newName.size() * sizeof(WCHAR));
      auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
      info->ReplaceIfExists = FALSE;
      info->RootDirectory = here.place.handle.get();
      info->FileNameLength = static_cast<DWORD>(newName.size() * sizeof(WCHAR));
      std::memcpy(info->FileName, newName.data(), info->FileNameLength);
      IO_STATUS_BLOCK status;
      const NTSTATUS result = NtSetInformationFile(entry.get(), &status, info,
                                                   static_cast<ULONG>(buffer.size()),
                                                   kFileRenameInformation);
      if (result >= 0) return 0;
      const ErrorCode error = RtlNtStatusToDosError(result);
      if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
          error != ERROR_INVALID_FUNCTION) {
        return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
      }
      renameByHandleRefused_ = true;
    }
    const std::u16string newPath = here.path + std::u16string(newName);
    const ErrorCode error = LastErrorUnless(MoveFileW(Wide(oldPath.c_str()), Wide(newPath.c_str())));
    return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
  }

  // Lists the deepest directory of the chain through its handle.
  void ListHere(const OutputFiles& outputs, std::vector<uint32_t>& subdirectories,
                std::vector<TreeError>& errors) {
    const HandleChain::Level& here = chain_.deepest();
    const uint32_t node = here.node;
    const size_t firstEntry = listing_.entries.size(), firstName = listing_.names.size();
    const size_t firstDirectory = directories_.size();
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    size_t read = 0;
    ErrorCode error = 0;
    for (bool first = true;; first = false) {
      if (!GetFileInformationByHandleEx(here.place.handle.get(),
                                        first ? kIdBothDirectoryRestartInfo : kIdBothDirectoryInfo,
                                        buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
        error = GetLastError();
        // The end; an empty drive root has not even "." to list.
        if (error == ERROR_NO_MORE_FILES || (first && error == ERROR_FILE_NOT_FOUND)) error = 0;
        break;
      }
      const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());
      for (;;) {
        const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        Take(*record, here, outputs, subdirectories, errors);
        ++read;
        if (record->NextEntryOffset == 0) break;
        at += record->NextEntryOffset;
      }
    }
    if (error == 0) return;
    errors.push_back({node, error, read > 0});
    listing_.entries.resize(firstEntry);
    listing_.names.resize(firstName);
    directories_.resize(firstDirectory);
    subdirectories.clear();
  }

  void Take(const FILE_ID_BOTH_DIR_INFO& record, const HandleChain::Level& here,
            const OutputFiles& outputs, std::vector<uint32_t>& subdirectories,
            std::vector<TreeError>& errors) {
    const std::u16string_view name(reinterpret_cast<const char16_t*>(record.FileName),
                                   record.FileNameLength / sizeof(WCHAR));
    if (name == u"." || name == u"..") return;
    const DWORD attributes = record.FileAttributes;
    const bool isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A reparse point's tag stands where extended attributes would.
    const bool reparse = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool isLink =
        reparse && (record.EaSize == kReparseTagSymlink || record.EaSize == kReparseTagMountPoint);
    const uint64_t size = static_cast<uint64_t>(record.EndOfFile.QuadPart);
    bool isOutput = false;
    if (!isDirectory && outputs.MayHold(size)) {
      const std::u16string path = here.path + std::u16string(name);
      isOutput = outputs.Holds(path.c_str(), size);
    }
    const uint32_t self = static_cast<uint32_t>(listing_.entries.size());
    listing_.entries.push_back({here.node, static_cast<uint32_t>(listing_.names.size()),
                                static_cast<uint32_t>(name.size()), isDirectory, isLink,
                                isOutput});
    listing_.names += name;
    // A link, junction or mount point is an entry of the tree, not a part of
    // it. Only an emulation of Windows lists a name that holds a separator.
    if (!isDirectory || reparse) return;
    if (!IsPlain(name)) {
      errors.push_back({self, ERROR_INVALID_NAME, false});
      return;
    }
    directories_.push_back({self, static_cast<ULONGLONG>(record.FileId.QuadPart)});
    subdirectories.push_back(self);
  }

  ErrorCode MoveTo(uint32_t target) {
    WayTo(listing_, target, way_);
    return WalkTo(
        chain_, way_.size(),
        [this](const HandleChain::Level& level, size_t i) { return level.node == way_[i]; },
        [this](size_t i) {
          const uint32_t node = way_[i];
          const auto listed = std::lower_bound(
              directories_.begin(), directories_.end(), node,
              [](const ListedDirectory& directory, uint32_t n) { return directory.node < n; });
          const bool known = listed != directories_.end() && listed->node == node;
          return chain_.Down(node, NameOf(node), known ? &listed->id : nullptr);
        });
  }

  std::u16string NameOf(uint32_t node) const {
    const auto renamed = renamed_.find(node);
    return renamed != renamed_.end() ? renamed->second : std::u16string(listing_.Name(node));
  }

  struct ListedDirectory {
    uint32_t node;
    ULONGLONG id;
  };

  HandleChain chain_;
  TreeListing listing_;
  std::vector<ListedDirectory> directories_;
  std::unordered_map<uint32_t, std::u16string> renamed_;
  bool renameByHandleRefused_ = false;
  std::vector<uint32_t> way_;
};

}  // namespace

std::unique_ptr<Tree> OpenWin32Tree(const char16_t* path) {
  OpenedPlace top;
  if (const ErrorCode error = OpenPlace(path, false, top)) {
    SetLastError(error);
    return nullptr;
  }
  return std::make_unique<Win32Tree>(path, std::move(top));
}

}  // namespace platform
