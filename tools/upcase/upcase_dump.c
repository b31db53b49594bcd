/* Prints every UTF-16 unit that Windows maps to another in uppercase, as the
   system compares file names (RtlUpcaseUnicodeChar), one "unit upper" pair of
   hexadecimal numbers a line, for tools/upcase/upcase_table.py. */
#include <windows.h>
#include <stdio.h>

typedef WCHAR(WINAPI* Upcase)(WCHAR);

int main(void) {
  const Upcase upcase = (Upcase)(void (*)(void))GetProcAddress(
      GetModuleHandleA("ntdll.dll"), "RtlUpcaseUnicodeChar");
  if (upcase == NULL) return 1;
  for (unsigned unit = 0; unit < 0x10000; ++unit) {
    const WCHAR upper = upcase((WCHAR)unit);
    if (upper != unit) printf("%04X %04X\n", unit, (unsigned)upper);
  }
  return 0;
}
