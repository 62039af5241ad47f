// Test helper: holds a file open, as another program on the server might, until a release file
// appears (or 60 seconds pass). "none": read access and share mode 0; "all": read and write access
// sharing read, write and delete. Prints "held" once the file is open.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const bool shared = argc == 4 && std::strcmp(argv[3], "all") == 0;
  if (argc != 4 || (!shared && std::strcmp(argv[3], "none") != 0)) {
    std::fprintf(stderr, "usage: holdopen FILE RELEASE-FILE none|all\n");
    return 2;
  }
  const DWORD access = shared ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  const DWORD share = shared ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
  HANDLE file = ::CreateFileA(argv[1], access, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "holdopen: cannot open %s (error %lu)\n", argv[1], ::GetLastError());
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  for (int i = 0; i < 1200 && ::GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
    ::Sleep(50);
  ::CloseHandle(file);
  return 0;
}
