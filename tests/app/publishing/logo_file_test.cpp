#include <gtest/gtest.h>

#include "logo_file.h"
#include "process.h"

namespace kestrova::publishing {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(LogoFile, CopiesBytesUnchangedWhateverTheFormat) {
  TempDir dir;
  std::string jpeg("\xFF\xD8\xFF\xE0\0\x10JFIF\0binary\xFF\xD9", 20);
  WriteFile(dir / "picked.jpg", jpeg);
  WriteFile(dir / "data/model/logo.gif", "old logo");
  StoreLogo(dir / "picked.jpg", dir / "data");
  EXPECT_EQ(ReadFile(dir / "data/model/logo.gif"), jpeg);
  EXPECT_FALSE(std::filesystem::exists(dir / "data/model/logo.gif.new"));
}

TEST(LogoFile, UnreadableSourceKeepsTheOldLogo) {
  TempDir dir;
  WriteFile(dir / "data/model/logo.gif", "old logo");
  EXPECT_THROW(StoreLogo(dir / "missing.gif", dir / "data"), std::runtime_error);
  EXPECT_THROW(StoreLogo(dir.path(), dir / "data"), std::runtime_error) << "a folder is not a picture";
  EXPECT_EQ(ReadFile(dir / "data/model/logo.gif"), "old logo");
}

TEST(LogoFile, CreatesTheModelFolder) {
  TempDir dir;
  WriteFile(dir / "a.gif", "GIF89a");
  StoreLogo(dir / "a.gif", dir / "data");
  EXPECT_EQ(ReadFile(dir / "data/model/logo.gif"), "GIF89a");
}

}  // namespace
}  // namespace kestrova::publishing
