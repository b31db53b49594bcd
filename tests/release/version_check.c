/* Reads a program's version and manifest the way Windows does, and compares
   the version with the one expected:

     version_check PROGRAM.exe 1.2.3

   prints "PROGRAM.exe 1.2.3.0, manifest of type 24" and exits 0 when both
   are right, else says what is wrong and exits 1. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == NULL || argc != 3) {
    fprintf(stderr, "usage: version_check PROGRAM.exe VERSION\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  void* info = size != 0 ? malloc(size) : NULL;
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  if (info == NULL || !GetFileVersionInfoW(argv[1], 0, size, info) ||
      !VerQueryValueW(info, L"\\", (void**)&fixed, &length) || fixed == NULL) {
    fprintf(stderr, "%ls: no version resource (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  wchar_t version[64], expected[64];
  swprintf(version, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
           LOWORD(fixed->dwFileVersionLS));
  swprintf(expected, 64, L"%ls.0", argv[2]);
  wchar_t* product = NULL;
  if (!VerQueryValueW(info, L"\\StringFileInfo\\040904B0\\ProductVersion",
                      (void**)&product, &length) ||
      wcscmp(product, argv[2]) != 0 || wcscmp(version, expected) != 0) {
    fprintf(stderr, "%ls: version %ls (product %ls), expected %ls\n", argv[1],
            version, product ? product : L"none", expected);
    return 1;
  }
  /* The loader reads the manifest of resource type 24, id 1 only. */
  const HMODULE image = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (image == NULL || FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) == NULL) {
    fprintf(stderr, "%ls: no manifest of type 24 (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  printf("%ls %ls, manifest of type 24\n", argv[1], version);
  return 0;
}
