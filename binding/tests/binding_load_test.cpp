// Bound controls across loads that replace the table's fields, and loads that fail.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MemTableTestSupport.h"
#include "kdx/binding/DataLink.h"
#include "kdx/binding/DataSource.h"
#include "kdx/memtable/Schemas.h"

namespace kdx {
namespace {

using test::MessageOf;

// A field link standing in for a text label: what it shows, read from its field on every
// refresh (a freed field is read here, which the address sanitizer reports).
struct Label {
  Label(TDataSource* source, const std::string& field) {
    link.OnDataChange = [this] {
      shown = link.Field() ? link.Field()->DisplayText() : std::string("(none)");
    };
    link.OnActiveChange = [this] { ++activeChanges; };
    link.SetDataSource(source);
    link.SetFieldName(field);
  }
  TFieldDataLink link;
  std::string shown;
  int activeChanges = 0;
};

// One line of a definition section for a string field.
std::string StringDefinition(const std::string& name, int size) {
  const std::string n = std::to_string(size);
  return "\"" + name + "=String," + n + ",\"\"" + name + "\"\",\"\"\"\"," + n +
         ",Data,\"\"\"\"\"\r\n";
}

const char* kImportHeader = "\"Nazev\",\"KDXFile\",\"SavePath\",\"InfoText\",\"EndText\",\r\n";

TEST(BindingAcrossLoads, AFieldTheNewDefinitionsLackUnbindsOnlyItsOwnControl) {
  auto t = CreateExportTable();
  t->OpenTable();
  TDataSource source(t.get());
  Label name(&source, "Nazev");
  Label info(&source, "InfoText");
  TGridDataLink grid;
  grid.SetDataSource(&source);
  grid.SetColumns({"Nazev", "Email"});
  // Attached last, so told first: its failure must not keep the others from re-resolving.
  Label email(&source, "Email");
  const std::string file = "\"@@TABLEDEF START@@\"\r\n" + StringDefinition("Nazev", 100) +
                           StringDefinition("InfoText", 255) +
                           "\"@@TABLEDEF END@@\"\r\n\"Nazev\",\"InfoText\",\r\n"
                           "\"Sklad\",\"Text\",\r\n";
  EXPECT_EQ(MessageOf([&] { t->LoadFromTableText(file); }), "Field 'Email' not found");
  EXPECT_EQ(email.link.Field(), nullptr);
  EXPECT_EQ(email.shown, "(none)");
  EXPECT_EQ(name.link.Field(), t->FieldByName("Nazev"));
  EXPECT_EQ(info.link.Field(), t->FieldByName("InfoText"));
  EXPECT_EQ(name.shown, "Sklad");
  EXPECT_EQ(info.shown, "Text");
  EXPECT_EQ(grid.ColumnField(0), t->FieldByName("Nazev"));
  EXPECT_EQ(grid.ColumnField(1), nullptr);
  EXPECT_EQ(grid.CellText(0, 0), "Sklad");
  EXPECT_EQ(grid.CellText(0, 1), "");

  // Editing, closing and reopening reach only live fields.
  t->EditRecord();
  t->FieldByName("Nazev")->SetAsString("Jih");
  t->PostRecord();
  EXPECT_EQ(name.shown, "Jih");
  const int emailActiveChanges = email.activeChanges;
  t->CloseTable();
  EXPECT_FALSE(name.link.Active());
  EXPECT_EQ(name.link.Field(), nullptr);
  // The control that names a missing field fails again, and again alone: every other control
  // hears that the table is open.
  EXPECT_EQ(MessageOf([&] { t->OpenTable(); }), "Field 'Email' not found");
  EXPECT_TRUE(t->Active());
  EXPECT_TRUE(name.link.Active());
  EXPECT_TRUE(info.link.Active());
  EXPECT_TRUE(grid.Active());
  EXPECT_EQ(email.activeChanges, emailActiveChanges + 2);  // told of the close and the open
  EXPECT_EQ(name.link.Field(), t->FieldByName("Nazev"));
  EXPECT_EQ(grid.RowCount(), 0);
}

TEST(BindingAcrossLoads, DefinitionsTheTableCannotOpenUnderArePutBack) {
  // A file that ends right after the section's start leaves no fields for IDX_KDXFile; a
  // section without KDXFile fails when it opens the table. Either way the table takes back its
  // own definitions, so the program can close, open and load it again.
  const std::string files[] = {
      "\"@@TABLEDEF START@@\"\r\n",
      "\"@@TABLEDEF START@@\"\r\n" + StringDefinition("Nazev", 100) +
          "\"@@TABLEDEF END@@\"\r\n\"Nazev\",\r\n\"x\",\r\n",
  };
  for (const std::string& file : files) {
    auto t = CreateImportTable();
    t->OpenTable();
    TField* const oldName = t->FieldByName("Nazev");
    TDataSource source(t.get());
    Label name(&source, "Nazev");
    Label kdxFile(&source, "KDXFile");
    EXPECT_EQ(MessageOf([&] { t->LoadFromTableText(file); }), "Field 'KDXFile' not found") << file;
    ASSERT_TRUE(t->Active());
    EXPECT_EQ(t->FieldCount(), 5);
    EXPECT_EQ(t->FieldByName("Nazev"), oldName);  // the very fields it had
    EXPECT_EQ(t->FieldByName("KDXFile")->Size(), 12);
    EXPECT_EQ(t->IndexNames(), (std::vector<std::string>{"__MT__ROWORDER", "IDX_KDXFile"}));
    EXPECT_EQ(t->RecordCount(), 0);
    EXPECT_EQ(name.link.Field(), oldName);
    EXPECT_EQ(name.shown, "");

    t->CloseTable();
    t->OpenTable();
    t->LoadFromTableText(std::string(kImportHeader) + "\"Brno\",\"POB1.KDX\",\r\n");
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(name.shown, "Brno");
    EXPECT_EQ(kdxFile.shown, "POB1.KDX");
  }
}

}  // namespace
}  // namespace kdx
