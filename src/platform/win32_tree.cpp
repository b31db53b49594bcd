// A tree on Windows: the walk of tree_walk.h on handles. Each directory is
// opened relative to its parent's handle with one name, never following a
// reparse point (NtCreateFile with a root directory), and is known by its
// volume and file number; it is listed through its handle, and an entry is
// renamed through its own handle, opened the same way, into that
// directory's handle. A directory closed earlier is opened again by its
// path and checked to be the same.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/tree_walk.h"
#include "platform/win32_api.h"

namespace platform {
namespace {

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

// Which file a directory is: its volume and its number there.
struct FileNumber {
  DWORD volume = 0;
  ULONGLONG id = 0;
};

ErrorCode NumberOf(HANDLE handle, FileNumber& number, DWORD* attributes = nullptr) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) return GetLastError();
  number.volume = information.dwVolumeSerialNumber;
  number.id = ULONGLONG{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
  if (attributes != nullptr) *attributes = information.dwFileAttributes;
  return 0;
}

// Opens `name` in the directory open as `directory`: that one name, never
// following a reparse point, whoever else has it open.
ErrorCode OpenBelow(HANDLE directory, std::u16string_view name, ACCESS_MASK access,
                    ULONG options, Handle& opened) {
  if (name.size() > 32767) return ERROR_FILENAME_EXCED_RANGE;
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(reinterpret_cast<PCWSTR>(name.data()));
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(WCHAR));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, directory, nullptr);
  IO_STATUS_BLOCK status;
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS result = NtCreateFile(
      &handle, access | SYNCHRONIZE, &attributes, &status, nullptr, 0,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
      options | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT |
          FILE_SYNCHRONOUS_IO_NONALERT,
      nullptr, 0);
  if (result < 0) return RtlNtStatusToDosError(result);
  opened.Reset(handle);
  return 0;
}

constexpr ACCESS_MASK kDirectoryAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

// The reparse data of a link, as FSCTL_GET_REPARSE_POINT gives it.
struct ReparseData {
  DWORD tag;
  WORD length;
  WORD reserved;
  WORD substituteOffset, substituteLength, printOffset, printLength;
  // A symbolic link has its flags here; a junction its names.
  BYTE rest[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
};

class Win32System {
 public:
  using Name = std::u16string;
  struct Identity {
    DWORD volume = 0;
    ULONGLONG id = 0;
  };
  struct Place {
    Handle handle;
    Identity identity;
    std::u16string path;  // its "\\?\" path and "\"
  };

  static constexpr ErrorCode kOtherVolume = ERROR_NOT_SAME_DEVICE;
  // Windows refuses to rename a directory while a handle is open below it.
  static constexpr bool kOpenDirectoriesHoldTheirParents = true;
  static constexpr ErrorCode kChanged = ERROR_FILE_INVALID;

  static void Encode(std::u16string_view text, Name& out) { out.assign(text); }
  static bool IsOpen(const Place& place) { return place.handle.valid(); }
  static void Close(Place& place) { place.handle.Reset(); }
  static bool SameFile(const Identity& a, const Identity& b) {
    return a.volume == b.volume && a.id == b.id;
  }
  static bool OtherVolume(const Place& top, const Place& place) {
    return place.identity.volume != top.identity.volume;
  }

  // Opens the directory `path` (ending in "\"); with `strict`, refuses a
  // reparse point (a link, a junction, a mount point) instead of following
  // it.
  static ErrorCode OpenPath(const std::u16string& path, bool strict, Place& place) {
    std::u16string name = path;
    if (name.size() > 1 && name.back() == u'\\' && name[name.size() - 2] != u':') name.pop_back();
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (strict ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    place.handle.Reset(CreateFileW(Wide(name.c_str()), kDirectoryAccess | SYNCHRONIZE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, flags, nullptr));
    if (!place.handle.valid()) return GetLastError();
    place.path = path;
    return Checked(place, strict);
  }

  ErrorCode Open(const Place& parent, const Name& name, Place& place) {
    if (!IsPlain(name)) return ERROR_INVALID_NAME;
    if (const ErrorCode error = OpenBelow(parent.handle.get(), name, kDirectoryAccess,
                                          FILE_DIRECTORY_FILE, place.handle)) {
      return error;
    }
    place.path = parent.path + name + u'\\';
    return Checked(place, true);
  }

  ErrorCode Reopen(const Place&, const Place& place, Place& reopened) {
    return OpenPath(place.path, true, reopened);
  }

  // Handles are not counted out: every lister wanted.
  static unsigned WorkersFor(unsigned wanted, size_t) { return wanted; }

  ErrorCode Duplicate(const Place& place, Place& copy) const {
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(GetCurrentProcess(), place.handle.get(), GetCurrentProcess(), &handle, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
      return GetLastError();
    }
    copy.handle.Reset(handle);
    copy.identity = place.identity;
    copy.path = place.path;
    return 0;
  }

  ErrorCode Look(const Place& parent, const Name& name, Identity& identity) {
    Handle entry;
    if (const ErrorCode error =
            OpenBelow(parent.handle.get(), name, FILE_READ_ATTRIBUTES, 0, entry)) {
      return error;
    }
    FileNumber number;
    if (const ErrorCode error = NumberOf(entry.get(), number)) return error;
    identity = {number.volume, number.id};
    return 0;
  }

  // Every entry of `place` but "." and "..", read through its handle. A
  // link, junction or mount point is an entry of the tree, not a part of
  // it; only an emulation of Windows lists a name that holds a separator.
  template <typename Take>
  ErrorCode List(const Place& place, Take&& take) {
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    for (bool first = true;; first = false) {
      if (!GetFileInformationByHandleEx(
              place.handle.get(), first ? kIdBothDirectoryRestartInfo : kIdBothDirectoryInfo,
              buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
        const ErrorCode error = GetLastError();
        // The end; an empty drive root has not even "." to list.
        return error == ERROR_NO_MORE_FILES || (first && error == ERROR_FILE_NOT_FOUND) ? 0
                                                                                         : error;
      }
      const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());
      for (;;) {
        const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        const std::u16string_view name(reinterpret_cast<const char16_t*>(record->FileName),
                                       record->FileNameLength / sizeof(WCHAR));
        if (name != u"." && name != u"..") take(Entry(place, *record, name));
        if (record->NextEntryOffset == 0) break;
        at += record->NextEntryOffset;
      }
    }
  }

  // Renames through the entry's own handle into the directory's handle, or
  // where the system does not take that (some network file systems), by
  // the full paths.
  ErrorCode Rename(const Place& place, const Name& oldName, const Name& newName,
                   const Identity* expected) {
    if (!IsPlain(oldName) || !IsPlain(newName)) return ERROR_INVALID_NAME;
    if (renameByHandleRefused_) return RenameByPath(place, oldName, newName, expected);
    Handle entry;
    if (const ErrorCode error = OpenBelow(place.handle.get(), oldName, DELETE, 0, entry)) {
      return error;
    }
    if (expected != nullptr) {
      FileNumber number;
      if (const ErrorCode error = NumberOf(entry.get(), number)) return error;
      if (!SameFile({number.volume, number.id}, *expected)) return kChanged;
    }
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + newName.size() * sizeof(WCHAR));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = place.handle.get();
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
    entry.Reset();
    return RenameByPath(place, oldName, newName, expected);
  }

  // Nothing short of renaming tells whether a rename would be refused.
  ErrorCode Refusal(const Place&, const Name&) { return 0; }

  ErrorCode ReadLink(const Place& place, const Name& name, std::u16string& target) {
    Handle link;
    if (const ErrorCode error =
            OpenBelow(place.handle.get(), name, FILE_READ_ATTRIBUTES, 0, link)) {
      return error;
    }
    ReparseData data;
    DWORD returned = 0;
    if (!DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, &data, sizeof data,
                         &returned, nullptr)) {
      return GetLastError();
    }
    if (data.tag != kReparseTagSymlink && data.tag != kReparseTagMountPoint) {
      return ERROR_NOT_A_REPARSE_POINT;
    }
    // The names follow a symbolic link's flags; a junction has none.
    const BYTE* names = data.rest + (data.tag == kReparseTagSymlink ? sizeof(ULONG) : 0);
    const bool print = data.printLength > 0;
    const size_t offset = print ? data.printOffset : data.substituteOffset;
    const size_t length = print ? data.printLength : data.substituteLength;
    target.assign(reinterpret_cast<const char16_t*>(names + offset), length / 2);
    if (target.compare(0, 4, u"\\??\\") == 0) target.erase(0, 4);
    return 0;
  }

  // A UNC path, or a drive the system says is on the network.
  bool OnShare(const Place& place) const {
    constexpr std::u16string_view kUnc = u"\\\\?\\UNC\\", kDrive = u"\\\\?\\";
    if (place.path.compare(0, kUnc.size(), kUnc) == 0) return true;
    if (place.path.compare(0, kDrive.size(), kDrive) != 0 || place.path.size() < kDrive.size() + 2 ||
        place.path[kDrive.size() + 1] != u':') {
      return false;
    }
    const std::u16string root = place.path.substr(kDrive.size(), 2) + u"\\";
    return GetDriveTypeW(Wide(root.c_str())) == DRIVE_REMOTE;
  }

  ErrorCode RealPath(const Place& place, std::u16string& path) {
    path.assign(MAX_PATH, u'\0');
    for (;;) {
      const DWORD length = GetFinalPathNameByHandleW(
          place.handle.get(), Wide(&path[0]), static_cast<DWORD>(path.size()),
          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (length == 0) return GetLastError();
      if (length < path.size()) {
        path.resize(length);
        return 0;
      }
      path.assign(length + 1, u'\0');
    }
  }

 private:
  // Reads what the walk needs of an open directory: which file it is, and
  // that it is a directory (and, `strict`, no reparse point).
  static ErrorCode Checked(Place& place, bool strict) {
    FileNumber number;
    DWORD attributes = 0;
    if (const ErrorCode error = NumberOf(place.handle.get(), number, &attributes)) return error;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
    if (strict && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return kStoppedOnLink;
    place.identity = {number.volume, number.id};
    return 0;
  }

  ListedEntry<Identity> Entry(const Place& place, const FILE_ID_BOTH_DIR_INFO& record,
                              std::u16string_view name) {
    ListedEntry<Identity> entry;
    entry.name = name;
    const DWORD attributes = record.FileAttributes;
    entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A reparse point's tag stands where extended attributes would.
    const bool reparse = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.isLink =
        reparse && (record.EaSize == kReparseTagSymlink || record.EaSize == kReparseTagMountPoint);
    const uint64_t size = static_cast<uint64_t>(record.EndOfFile.QuadPart);
    if (!entry.isDirectory && outputs_.MayHold(size)) {
      path_ = place.path;
      path_ += name;
      entry.isOutput = outputs_.Holds(path_.c_str(), size);
    }
    if (entry.isDirectory && !reparse) {
      entry.enter = IsPlain(name);
      if (!entry.enter) entry.unenterable = ERROR_INVALID_NAME;
      entry.identityKnown = true;
      entry.identity = {place.identity.volume, static_cast<ULONGLONG>(record.FileId.QuadPart)};
    }
    return entry;
  }

  ErrorCode RenameByPath(const Place& place, const Name& oldName, const Name& newName,
                         const Identity* expected) {
    if (expected != nullptr) {
      Identity now;
      if (const ErrorCode error = Look(place, oldName, now)) return error;
      if (!SameFile(now, *expected)) return kChanged;
    }
    const std::u16string oldPath = place.path + oldName, newPath = place.path + newName;
    const ErrorCode error =
        LastErrorUnless(MoveFileW(Wide(oldPath.c_str()), Wide(newPath.c_str())));
    return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
  }

  OutputFiles outputs_;
  bool renameByHandleRefused_ = false;
  std::u16string path_;
};

}  // namespace

ErrorCode OpenWin32Tree(const char16_t* path, std::unique_ptr<Tree>& tree) {
  Win32System::Place top;
  if (const ErrorCode error = Win32System::OpenPath(path, false, top)) return error;
  tree = std::make_unique<WalkedTree<Win32System>>(Win32System(), std::move(top));
  return 0;
}

}  // namespace platform
