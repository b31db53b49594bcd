#include <cstring>

#include "platform/win32_api.h"

namespace platform {

// Which file is open as `handle`: its volume and its number there.
FileIdentity::FileIdentity(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      GetFileType(handle) != FILE_TYPE_DISK) {
    return;
  }
  // FILE_ID_INFO (Windows 8 on); Wine answers it for an inherited handle
  // too, with the volume left 0, where the older call fails.
  struct {
    ULONGLONG volume;
    BYTE id[16];
  } idInfo;
  constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
  if (GetFileInformationByHandleEx(handle, kFileIdInfo, &idInfo, sizeof idInfo)) {
    known = true;
    volume = idInfo.volume;
    std::memcpy(id, idInfo.id, sizeof id);
    return;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(handle, &information)) {
    known = true;
    volume = information.dwVolumeSerialNumber;
    std::memcpy(id, &information.nFileIndexLow, sizeof(DWORD));
    std::memcpy(id + sizeof(DWORD), &information.nFileIndexHigh, sizeof(DWORD));
  }
}
bool FileIdentity::operator==(const FileIdentity& other) const {
  return known && other.known && std::memcmp(id, other.id, sizeof id) == 0 &&
         (volume == other.volume || volume == 0 || other.volume == 0);
}

OutputFiles::OutputFiles()
    : out_(GetStdHandle(STD_OUTPUT_HANDLE)), err_(GetStdHandle(STD_ERROR_HANDLE)) {}

bool OutputFiles::Holds(const char16_t* path, uint64_t size) const {
  if (!MayHold(size)) return false;
  const Handle handle(CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
  if (!handle.valid()) return false;
  const FileIdentity entry(handle.get());
  return entry == out_.identity || entry == err_.identity;
}

bool OutputFiles::Sized(const Stream& stream, uint64_t size) {
  LARGE_INTEGER length;
  return stream.identity.known && GetFileSizeEx(stream.handle, &length) != 0 &&
         static_cast<uint64_t>(length.QuadPart) == size;
}

}  // namespace platform
