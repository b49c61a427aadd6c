#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/picker/FileList.h"

using namespace kdx::picker;

namespace {

std::vector<std::string> Texts(const std::vector<FileItem>& items) {
  std::vector<std::string> texts;
  for (const FileItem& item : items) texts.push_back(item.text);
  return texts;
}

class FileListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.txt", "A.TXT", "run.EXE", "tool.bat", "notes", "x.kdx"})
      tree.WriteFile(name, "x");
#ifndef _WIN32
    tree.WriteFile(".profile", "x");
#endif
    tree.MakeDir("Sub");
  }
  kdx::test::TempDir tree;
};

}  // namespace

TEST_F(FileListTest, NormalFilesSortedWithoutRegardToCaseWithTheirGlyphs) {
  const auto items = ReadFileItems(tree.Path());
  EXPECT_EQ(Texts(items),
            (std::vector<std::string>{"A.TXT", "b.txt", "notes", "run.EXE", "tool.bat", "x.kdx"}));
  EXPECT_EQ(items[0].glyph, FileGlyph::Other);
  EXPECT_EQ(items[3].glyph, FileGlyph::Executable);
  EXPECT_EQ(items[4].glyph, FileGlyph::Executable);
}

TEST_F(FileListTest, SeveralMasksListEachFileOnce) {
  EXPECT_EQ(SplitMasks(" *.txt ; *.KDX;"), (std::vector<std::string>{"*.txt", "*.KDX"}));
  EXPECT_EQ(SplitMasks(""), (std::vector<std::string>{"*.*"}));
  EXPECT_EQ(Texts(ReadFileItems(tree.Path(), "*.txt;*.KDX")),
            (std::vector<std::string>{"A.TXT", "b.txt", "x.kdx"}));
  EXPECT_EQ(ReadFileItems(tree.Path(), "*.txt;*.*").size(), 6u);
  EXPECT_TRUE(ReadFileItems(tree.Path(), "*.doc").empty());
}

TEST_F(FileListTest, DirectoriesAndHiddenFilesOnlyWhenSelected) {
  FileAttributes attributes;
  attributes.directory = true;
  const auto items = ReadFileItems(tree.Path(), "*.*", attributes);
  ASSERT_EQ(items.size(), 7u);
  EXPECT_EQ(items[0].text, "[Sub]");  // the bracket sorts before letters
  EXPECT_EQ(items[0].glyph, FileGlyph::Folder);
#ifndef _WIN32
  attributes.directory = false;
  attributes.hidden = true;
  EXPECT_EQ(Texts(ReadFileItems(tree.Path(), "*.*", attributes)).front(), ".profile");
#endif
  EXPECT_TRUE(ReadFileItems(tree / "missing").empty());
}
