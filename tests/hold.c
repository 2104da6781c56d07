/* hold FILE MS: holds FILE open for MS milliseconds, as antivirus or the search indexer does:
   reading, sharing neither writes nor deletion. Prints the error a deletion of it meets then,
   32 (sharing violation) where Windows enforces the hold. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  if (argc != 3) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  printf("%lu", DeleteFileA(argv[1]) ? 0UL : GetLastError());
  fflush(stdout);
  Sleep((DWORD)strtoul(argv[2], NULL, 10));
  return 0;
}
