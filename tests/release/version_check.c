/* Reads a program's version and manifest the way Windows does, and compares
   the version with the one expected:

     version_check 1.2.3 PROGRAM.exe...

   prints "PROGRAM.exe 1.2.3.0, manifest of type 24" for each program and
   exits 0 when both are right for all, else says what is wrong and exits 1.
   One process checks them all: where 32-bit code runs only under an
   emulator, each start of a program costs most of a minute. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

/* Checks one program; prints its line or says what is wrong. */
static int check(const wchar_t* program, const wchar_t* wanted) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program, &ignored);
  void* info = size != 0 ? malloc(size) : NULL;
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  if (info == NULL || !GetFileVersionInfoW(program, 0, size, info) ||
      !VerQueryValueW(info, L"\\", (void**)&fixed, &length) || fixed == NULL) {
    fprintf(stderr, "%ls: no version resource (%lu)\n", program, GetLastError());
    return 1;
  }
  wchar_t version[64], expected[64];
  swprintf(version, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
           LOWORD(fixed->dwFileVersionLS));
  swprintf(expected, 64, L"%ls.0", wanted);
  wchar_t* product = NULL;
  if (!VerQueryValueW(info, L"\\StringFileInfo\\040904B0\\ProductVersion",
                      (void**)&product, &length) ||
      wcscmp(product, wanted) != 0 || wcscmp(version, expected) != 0) {
    fprintf(stderr, "%ls: version %ls (product %ls), expected %ls\n", program,
            version, product ? product : L"none", expected);
    return 1;
  }
  /* The loader reads the manifest of resource type 24, id 1 only. */
  const HMODULE image = LoadLibraryExW(program, NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (image == NULL || FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) == NULL) {
    fprintf(stderr, "%ls: no manifest of type 24 (%lu)\n", program, GetLastError());
    return 1;
  }
  printf("%ls %ls, manifest of type 24\n", program, version);
  return 0;
}

int main(void) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == NULL || argc < 3) {
    fprintf(stderr, "usage: version_check VERSION PROGRAM.exe...\n");
    return 2;
  }
  int wrong = 0;
  for (int i = 2; i < argc; ++i) wrong |= check(argv[i], argv[1]);
  return wrong;
}
