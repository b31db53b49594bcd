// The floor under Windows (or Wine): the same renames as snipdir.exe made,
// read from a list, one MoveFileW each and nothing else.
//
//   snipdir_floor.exe DIRECTORY LIST
//
// LIST holds old and new names in UTF-8, each ended by a NUL byte, in pairs;
// DIRECTORY is a Windows path.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                  wide.data(), static_cast<int>(wide.size())));
  return wide;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc != 3) {
    fprintf(stderr, "usage: snipdir_floor.exe DIRECTORY LIST\n");
    return 2;
  }
  std::ifstream file(argv[2], std::ios::binary);
  const std::string list{std::istreambuf_iterator<char>(file), {}};
  const std::wstring directory = std::wstring(L"\\\\?\\") + argv[1] + L"\\";
  int failures = 0;
  size_t start = 0;
  while (start < list.size()) {
    const size_t middle = list.find('\0', start);
    const size_t end = list.find('\0', middle + 1);
    if (middle == std::string::npos || end == std::string::npos) break;
    const std::wstring oldPath = directory + Wide(list.substr(start, middle - start));
    const std::wstring newPath = directory + Wide(list.substr(middle + 1, end - middle - 1));
    if (!MoveFileW(oldPath.c_str(), newPath.c_str())) ++failures;
    start = end + 1;
  }
  return failures == 0 ? 0 : 1;
}
