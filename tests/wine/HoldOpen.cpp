// Test helper: holds a file open, as another program on the server might, until a release file
// appears (or 60 seconds pass). "none": read access, share mode 0; "read": read access, sharing
// everything; "all": read and write access, sharing everything. Prints "held" once it is open.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const char* mode = argc == 4 ? argv[3] : "";
  const bool none = std::strcmp(mode, "none") == 0;
  const bool read = std::strcmp(mode, "read") == 0;
  const bool all = std::strcmp(mode, "all") == 0;
  if (!none && !read && !all) {
    std::fprintf(stderr, "usage: holdopen FILE RELEASE-FILE none|read|all\n");
    return 2;
  }
  const DWORD access = all ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  const DWORD share = none ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
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
