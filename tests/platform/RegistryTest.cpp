// The registry stand-in: files as regedit writes them, and RegQueryValueExA's size contract.
#include <gtest/gtest.h>

#include <cstring>

#include "TempRoot.h"
#include "common/RegFile.h"
#include <pentrel/platform/Platform.h>

namespace pentrel::test {
namespace {

using pentrel::platform::common::RegFile;
using pentrel::platform::RegistryStatus;

const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0";

std::string Utf16(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

TEST(RegFileTest, ReadsWhatRegeditWrites) {
  const std::string v5 =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; exported by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0]\r\n"
      "\"Wrapper File\"=\"C:\\\\Inetpub\\\\say \\\"hi\\\".htm\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Bin\"=hex:01,02,\\\r\n  ff\r\n"
      "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "@=\"default\"\r\n";
  const struct {
    const char* name;
    std::string bytes;
  } files[] = {
      {"Version 5 in UTF-16 with BOM", Utf16(v5)},
      {"Version 5 in UTF-8 with BOM", "\xEF\xBB\xBF" + v5},
      {"Version 5, LF line ends", [&] {
         std::string s = v5;
         std::erase(s, '\r');
         return s;
       }()},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const auto file = RegFile::Parse(f.bytes);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->HasKey("hkey_local_machine\\software\\orv\\PENTREL FOR MSIIS\\1.0"));
    EXPECT_TRUE(file->HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV"));
    EXPECT_FALSE(file->HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\2.0"));
    ASSERT_TRUE(file->Find(kKey, "wrapper FILE"));
    EXPECT_EQ(*file->Find(kKey, "wrapper FILE"), std::string("C:\\Inetpub\\say \"hi\".htm\0", 24));
    EXPECT_EQ(*file->Find(kKey, "Count"), std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(*file->Find(kKey, "Bin"), "\x01\x02\xff");
    EXPECT_EQ(*file->Find(kKey, "Expand"), std::string("%A%\0", 4));
    EXPECT_EQ(*file->Find(kKey, ""), std::string("default\0", 8));
    EXPECT_EQ(file->Find(kKey, "Missing"), nullptr);
  }
  const auto v4 = RegFile::Parse("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"y\"\r\n");
  ASSERT_TRUE(v4);
  EXPECT_EQ(*v4->Find("HKEY_LOCAL_MACHINE\\a", "X"), std::string("y\0", 2));
}

TEST(RegFileTest, LaterLinesWinAndDeletionsApply) {
  const auto file = RegFile::Parse(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n\"y\"=\"1\"\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"2\"\n"
      "\"y\"=-\n[HKEY_LOCAL_MACHINE\\B\\C]\n\"z\"=\"1\"\n[-HKEY_LOCAL_MACHINE\\B]\n");
  ASSERT_TRUE(file);
  EXPECT_EQ(*file->Find("HKEY_LOCAL_MACHINE\\A", "x"), std::string("2\0", 2));
  EXPECT_EQ(file->Find("HKEY_LOCAL_MACHINE\\A", "y"), nullptr);
  EXPECT_FALSE(file->HasKey("HKEY_LOCAL_MACHINE\\B\\C"));
  EXPECT_FALSE(file->HasKey("HKEY_LOCAL_MACHINE\\B"));
}

TEST(RegFileTest, RejectsWhatItCannotParse) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"unknown first line", "Windows Registry Editor Version 6.00\r\n"},
      {"value before any key", "REGEDIT4\r\n\"x\"=\"y\"\r\n"},
      {"unclosed key", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A\r\n"},
      {"unclosed string", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"y\r\n"},
      {"unknown escape", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"a\\qb\"\r\n"},
      {"junk after value", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"y\" z\r\n"},
      {"no equals", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\" \"y\"\r\n"},
      {"short dword", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:2a\r\n"},
      {"bad hex", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=hex:0g\r\n"},
      {"dangling comma", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=hex:01,\r\n"},
      {"odd UTF-16", "\xFF\xFE" "R\0E\0G"},
      {"lone surrogate", Utf16("REGEDIT4\r\n") + std::string("\x00\xD8", 2)},
      {"binary junk", std::string("REGEDIT4\r\n\0\xFF[", 13)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(RegFile::Parse(c.bytes));
  }
}

TEST(RegistryTest, SizeContractOfRegQueryValueEx) {
  TempRoot root;
  const std::string fits(127, 'p');
  const std::string tooLong(128, 'p');
  WriteFile(root.Path() / "registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n[" + std::string(kKey) +
                "]\r\n\"Fits\"=\"" + fits + "\"\r\n\"TooLong\"=\"" + tooLong + "\"\r\n");
  const std::string key = "SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0";
  const struct {
    const char* name;
    std::string key;
    RegistryStatus status;
    std::uint32_t size;
  } cases[] = {
      {"Fits", key, RegistryStatus::Ok, 128},
      {"TooLong", key, RegistryStatus::MoreData, 129},
      {"Missing", key, RegistryStatus::ValueNotFound, 128},
      {"Fits", "SOFTWARE\\ORV\\Pentrel for MSIIS\\9.9", RegistryStatus::KeyNotFound, 128},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " in " + c.key);
    char buffer[129];
    std::memset(buffer, '#', sizeof buffer);
    std::uint32_t size = 128;
    EXPECT_EQ(platform::ReadLocalMachineValue(c.key, c.name, buffer, size), c.status);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(buffer[128], '#') << "wrote past the size offered";
    if (c.status == RegistryStatus::Ok) {
      EXPECT_STREQ(buffer, fits.c_str());
    }
  }
  std::filesystem::remove(root.Path() / "registry.reg");
  char buffer[8];
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(platform::ReadLocalMachineValue(key, "Fits", buffer, size), RegistryStatus::KeyNotFound);
}

}  // namespace
}  // namespace pentrel::test
