#include <gtest/gtest.h>
#include <stdlib.h>

#include <pentrel/platform/Platform.h>

namespace {

TEST(PathsTest, WindowsPathsResolveUnderTheDriveRoot) {
  const struct {
    const char* root;  // nullptr: PENTREL_ROOT unset
    const char* path;
    const char* resolved;
  } cases[] = {
      {"/srv/p", "C:\\temp\\err.txt", "/srv/p/c/temp/err.txt"},
      {"/srv/p", "c:\\temp\\upsonbatt.txt", "/srv/p/c/temp/upsonbatt.txt"},
      {"/srv/p/", "D:\\Web Site\\Pt_Wrap.HTM", "/srv/p/d/Web Site/Pt_Wrap.HTM"},
      {"/srv/p", "C:/mixed\\slashes", "/srv/p/c/mixed/slashes"},
      {"/srv/p", "C:", "/srv/p/c/"},
      {"/srv/p", "/etc/pentrel/pt_wrap.htm", "/etc/pentrel/pt_wrap.htm"},
      {nullptr, "C:\\temp\\err.txt", "/var/lib/pentrel/c/temp/err.txt"},
      {"", "C:\\temp\\err.txt", "/var/lib/pentrel/c/temp/err.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    if (c.root) {
      setenv("PENTREL_ROOT", c.root, 1);
    } else {
      unsetenv("PENTREL_ROOT");
    }
    EXPECT_EQ(pentrel::platform::ResolvePath(c.path), c.resolved);
  }
  unsetenv("PENTREL_ROOT");
}

}  // namespace
