// The table file: the program's files byte for byte, the reader's line and value rules, flags,
// round trips, failures and the safe replacement of the old file.

#include <random>

#include "../src/MemTableCommon.h"
#include "MemTableTestSupport.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#endif

using namespace kdx;
using namespace kdx::test;

namespace {

const char* kImportHeader = "\"Nazev\",\"KDXFile\",\"SavePath\",\"InfoText\",\"EndText\",\r\n";
const char* kExportHeader =
    "\"Nazev\",\"KDXFilePath\",\"Email\",\"InfoText\",\"EndText\",\"EmailShow\",\r\n";

void FillImportExample(TMemTable& t) {
  AddRecord(t, {TVariant(Cp("Pobočka Brno")), TVariant("POB1_PB.KDX"), TVariant("C:\\Prenosy\\"),
                TVariant(Cp("Uložení přenosového souboru z pobočky Brno")), TVariant("")});
  AddRecord(t, {TVariant("Sklad \"Jih\""), TVariant(), TVariant("D:\\Data\\50%\\"), TVariant(),
                TVariant(Cp("Hotovo.\r\nPokračujte."))});
}

std::string ImportExampleFile() {
  return std::string(kImportHeader) +
         Cp("\"Pobočka Brno\",\"POB1_PB.KDX\",\"C:\\Prenosy\\\",\"Uložení přenosového souboru z "
            "pobočky Brno\",\"\",\r\n") +
         Cp("\"Sklad \"\"Jih\"\"\",,\"D:\\Data\\50%%\\\",,\"Hotovo.%c%nPokračujte.\",\r\n");
}

// Every field of every record in the current index: "null" or the quoted text.
std::vector<std::string> Dump(TMemTable& t) {
  std::vector<std::string> out;
  for (int r = 1; r <= t.RecordCount(); ++r) {
    std::string line;
    for (int f = 0; f < t.FieldCount(); ++f)
      line += t.IsNullAt(r, *t.Fields(f)) ? "null|" : "[" + t.DisplayTextAt(r, *t.Fields(f)) + "]|";
    out.push_back(line);
  }
  return out;
}

}  // namespace

TEST(TableFileFormat, WorkedExamplesComeOutByteForByte) {
  TempDir dir;
  auto imp = OpenImport();
  FillImportExample(*imp);
  imp->SaveToTableFile(dir / "kdx_imp.tab", {mtfSaveData});
  EXPECT_EQ(ReadFile(dir / "kdx_imp.tab"), ImportExampleFile());

  auto exp = OpenExport();
  AddRecord(*exp,
            {TVariant(Cp("Odeslání do skladu")), TVariant("C:\\Prenosy\\SKLAD.KDX"), TVariant(),
             TVariant(Cp("Soubor se připojí k e-mailu.")), TVariant(""), TVariant(true)});
  exp->SaveToTableFile(dir / "kdx_exp.tab");
  EXPECT_EQ(ReadFile(dir / "kdx_exp.tab"),
            std::string(kExportHeader) +
                Cp("\"Odeslání do skladu\",\"C:\\Prenosy\\SKLAD.KDX\",,\"Soubor se připojí k "
                   "e-mailu.\",\"\",\"True\",\r\n"));

  // Read back, nulls stay null and empties empty; the first record becomes current.
  auto back = OpenImport();
  back->LoadFromTableFile(dir / "kdx_imp.tab");
  EXPECT_EQ(Dump(*back), Dump(*imp));
  EXPECT_EQ(back->RecNo(), 1);
  EXPECT_EQ(back->FieldByName("Nazev")->AsString(), Cp("Pobočka Brno"));
  EXPECT_TRUE(back->FieldByName("EndText")->AsString().empty());
  EXPECT_FALSE(back->FieldByName("EndText")->IsNull());
  back->Next();
  EXPECT_TRUE(back->FieldByName("KDXFile")->IsNull());
  EXPECT_EQ(back->FieldByName("EndText")->AsString(), Cp("Hotovo.\r\nPokračujte."));
}

TEST(TableFileFormat, EmptyTablesAndRecordOrder) {
  auto t = OpenImport();
  EXPECT_EQ(t->SaveToTableText(), kImportHeader);
  EXPECT_EQ(OpenExport()->SaveToTableText(), kExportHeader);
  // Records go out in the current index's order and come back in that order.
  AddRecord(*t, {"n1", "C"});
  AddRecord(*t, {"n2", "A"});
  AddRecord(*t, {"n3", "B"});
  t->SetIndexName("IDX_KDXFile");
  const std::string text = t->SaveToTableText();
  auto back = OpenImport();
  back->LoadFromTableText(text);
  EXPECT_EQ(Column(*back, "Nazev"), (std::vector<std::string>{"n2", "n3", "n1"}));
  // Loading the same text again adds every record a second time.
  back->LoadFromTableText(text);
  EXPECT_EQ(Column(*back, "Nazev"), (std::vector<std::string>{"n2", "n3", "n1", "n2", "n3", "n1"}));
}

TEST(TableFileFormat, SaveSettlesAPendingEdit) {
  auto t = OpenImport();
  AddRecord(*t, {"old"});
  t->EditRecord();
  t->FieldByName("Nazev")->SetAsString("new");
  const std::string text = t->SaveToTableText();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_NE(text.find("\"new\""), std::string::npos);
}

TEST(TableFileReader, HandWrittenLineEndsAndBlankLines) {
  const std::string canonical = ImportExampleFile();
  auto expected = OpenImport();
  expected->LoadFromTableText(canonical);
  std::string lf = canonical, cr = canonical;
  for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.replace(p, 2, "\n");
  for (std::size_t p; (p = cr.find("\r\n")) != std::string::npos;) cr.replace(p, 2, "\r");
  std::string blanks = canonical;
  blanks.insert(blanks.find("\r\n") + 2, "\r\n\n\r\n");
  blanks = "\n\n" + blanks + "\n\n";
  std::string noFinal = canonical.substr(0, canonical.size() - 2);
  std::string nulEnds = lf;
  nulEnds[nulEnds.find('\n')] = '\0';
  for (const std::string& variant : {lf, cr, blanks, noFinal, nulEnds}) {
    auto t = OpenImport();
    t->LoadFromTableText(variant);
    EXPECT_EQ(Dump(*t), Dump(*expected));
  }
}

TEST(TableFileReader, HeaderColumnsMapByNameInAnyOrderAndCase) {
  auto t = OpenImport();
  t->LoadFromTableText(
      "\"endtext\",\"Unknown\",\"KDXFILE\",\"Nazev\",\r\n"
      "\"end\",\"skipped\",\"K.KDX\",\"name\",\r\n");
  EXPECT_EQ(Dump(*t), (std::vector<std::string>{"[name]|[K.KDX]|null|null|[end]|"}));
  // No KDXFile column: KDXFile stays null everywhere.
  auto u = OpenImport();
  u->LoadFromTableText("\"Nazev\",\"SavePath\",\r\n\"a\",\"p\",\r\n\"b\",,\r\n");
  EXPECT_EQ(Dump(*u),
            (std::vector<std::string>{"[a]|null|[p]|null|null|", "[b]|null|null|null|null|"}));
  // A header naming no field: every record is posted with all fields null.
  auto v = OpenImport();
  v->LoadFromTableText("\"X\",\"Y\",\r\n\"1\",\"2\",\r\n");
  EXPECT_EQ(Dump(*v), (std::vector<std::string>{"null|null|null|null|null|"}));
  // An empty unquoted header value maps the column to the field at its position.
  auto w = OpenImport();
  w->LoadFromTableText(",\"Nazev\",\r\n\"k\",\"n\",\r\n");
  EXPECT_EQ(Dump(*w), (std::vector<std::string>{"[n]|null|null|null|null|"}));
}

TEST(TableFileReader, ALaterColumnOfTheSameNameWinsWhateverItsValue) {
  // Text fields (stored straight into the record) and a truth value (stored through its
  // setter): the later column's text, empty text or null replaces the earlier one's value.
  auto t = OpenExport();
  t->LoadFromTableText(
      "\"Nazev\",\"Email\",\"EmailShow\",\"Nazev\",\"EMAIL\",\"emailshow\",\r\n"
      "\"a\",\"x@a.cz\",\"True\",\"b\",\"y@b.cz\",\"False\",\r\n"
      "\"a\",\"x@a.cz\",\"True\",,\"\",,\r\n"
      "\"a\",\"x@a.cz\",\"True\",\"%%n\",,\"\",\r\n"
      ",,,\"c\",\"z@c.cz\",\"True\",\r\n");
  std::vector<std::string> seen;
  for (int i = 1; i <= t->RecordCount(); ++i) {
    std::string row;
    for (const char* name : {"Nazev", "Email", "EmailShow"}) {
      const TField* f = t->FieldByName(name);
      row += (t->IsNullAt(i, *f) ? std::string("null") : "[" + t->DisplayTextAt(i, *f) + "]") + "|";
    }
    seen.push_back(row);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"[b]|[y@b.cz]|[False]|", "null|[]|null|",
                                            "[%n]|null|[False]|", "[c]|[z@c.cz]|[True]|"}));
}

TEST(TableFileReader, ShortAndLongLinesAndMalformedValues) {
  auto t = OpenImport();
  t->LoadFromTableText(std::string(kImportHeader) +
                       "\"only\",\r\n"                                   // fewer values
                       "\"a\",\"b\",\"c\",\"d\",\"e\",\"f\",\"g\",\r\n"  // more values
                       "junk\"a\"x\"b\",\r\n"                            // stray characters
                       "\"unterminated\r\n"                              // no closing quote
                       "\"x\"\"y\"\"z,\r\n");                            // ... after a doubled one
  EXPECT_EQ(Dump(*t), (std::vector<std::string>{
                          "[only]|null|null|null|null|",
                          "[a]|[b]|[c]|[d]|[e]|",
                          "[a]|[b]|null|null|null|",
                          "[]|null|null|null|null|",
                          "[x\"y\"]|null|null|null|null|",
                      }));
}

TEST(TableFileReader, EmptyFileHeaderOnlyAndMissingFile) {
  TempDir dir;
  auto t = OpenImport();
  AddRecord(*t, {"kept"});
  Recorder rec;
  t->AttachListener(&rec);
  WriteFile(dir / "empty.tab", "");
  t->LoadFromTableFile(dir / "empty.tab");
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_TRUE(rec.events.empty());
  WriteFile(dir / "header.tab", kImportHeader);
  auto h = OpenImport();
  h->LoadFromTableFile(dir / "header.tab");
  EXPECT_EQ(h->RecordCount(), 0);
  EXPECT_EQ(h->State(), dsBrowse);
  const std::string missing = dir / "missing.tab";
  EXPECT_EQ(MessageOf([&] { t->LoadFromTableFile(missing); }), "Cannot open file " + missing);
  EXPECT_THROW(t->LoadFromTableFile(missing), EFOpenError);
  t->DetachListener(&rec);
}

TEST(TableFileReader, TruthValuesOnlyTrueIsTrue) {
  auto t = OpenExport();
  t->LoadFromTableText(std::string(kExportHeader) +
                       "\"1\",,,,,\"True\",\r\n\"2\",,,,,\"true\",\r\n\"3\",,,,,\"TRUE\",\r\n"
                       "\"4\",,,,,\"1\",\r\n\"5\",,,,,\"\",\r\n\"6\",,,,,,\r\n");
  TField* show = t->FieldByName("EmailShow");
  std::vector<std::string> seen;
  for (int i = 1; i <= 6; ++i)
    seen.push_back(show->IsNull() ? "null" : show->AsString()), t->Next();
  EXPECT_EQ(seen, (std::vector<std::string>{"True", "False", "False", "False", "False", "null"}));
}

TEST(TableFileReader, PercentSignsReadBackAsWritten) {
  auto t = OpenImport();
  t->LoadFromTableText(std::string(kImportHeader) +
                       "\"50%\",\"%x%\",\"a%%b%0c\",\"%c%n%%%\",\"%\",\r\n");
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "50%");
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "%x%");
  EXPECT_EQ(t->FieldByName("SavePath")->AsString(), "a%b");  // "%0" is NUL: the text ends there
  EXPECT_EQ(t->FieldByName("InfoText")->AsString(), "\r\n%%");
  EXPECT_EQ(t->FieldByName("EndText")->AsString(), "%");
}

TEST(TableFileReader, LinesOfAnyLengthAcrossBlocks) {
  // Records whose lines straddle the 8192-byte blocks, and one line far longer than a block.
  auto t = std::make_unique<TMemTable>("T");
  t->AddStringField("A", 8192);
  t->AddStringField("B", 20);
  t->OpenTable();
  std::mt19937 random(3);
  for (int i = 0; i < 200; ++i) {
    const std::size_t len = i == 100 ? 8192 : random() % 300;
    AddRecord(*t, {TVariant(std::string(len, static_cast<char>('a' + i % 26))),
                   TVariant("tail" + std::to_string(i))});
  }
  std::string text = t->SaveToTableText();
  text.insert(text.find("\r\n") + 2, "\"" + std::string(30000, 'z') + "\",\"long\",\r\n");
  auto back = std::make_unique<TMemTable>("T");
  back->AddStringField("A", 8192);
  back->AddStringField("B", 20);
  back->OpenTable();
  back->LoadFromTableText(text);
  ASSERT_EQ(back->RecordCount(), 201);
  EXPECT_EQ(back->FieldByName("A")->AsString(), std::string(8192, 'z'));
  EXPECT_EQ(back->FieldByName("B")->AsString(), "long");
  back->Next();
  EXPECT_EQ(Dump(*back).size(), 201u);
  std::vector<std::string> original = Dump(*t), loaded = Dump(*back);
  loaded.erase(loaded.begin());
  EXPECT_EQ(loaded, original);
}

TEST(TableFileRoundTrip, RandomTablesWithEveryByteSurvive) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 20; ++round) {
    auto t = OpenExport();
    const int records = static_cast<int>(random() % 30);
    for (int r = 0; r < records; ++r) {
      t->AppendRecord();
      for (int f = 0; f < 5; ++f) {
        const unsigned kind = random() % 4;
        if (kind == 0) continue;  // null
        std::string value;
        if (kind > 1) {
          const std::size_t len = random() % 60;
          for (std::size_t i = 0; i < len; ++i)
            value.push_back(static_cast<char>(1 + random() % 255));
        }
        t->Fields(f)->SetAsString(value);
      }
      if (random() % 3) t->Fields(5)->SetAsBoolean(random() % 2);
      t->PostRecord();
    }
    // Every byte 1..255 in one value as well.
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    AddRecord(*t, {TVariant(), TVariant(all)});
    TempDir dir;
    t->SaveToTableFile(dir / "r.tab");
    auto back = OpenExport();
    back->LoadFromTableFile(dir / "r.tab");
    EXPECT_EQ(Dump(*back), Dump(*t)) << round;
    // Saving what was loaded gives the same bytes.
    back->SaveToTableFile(dir / "again.tab");
    EXPECT_EQ(ReadFile(dir / "again.tab"), ReadFile(dir / "r.tab"));
  }
}

TEST(TableFileFlags, HeaderSkippedColumnsAndAppend) {
  auto t = std::make_unique<TMemTable>("T");
  t->AddStringField("A", 5);
  t->AddStringField("Hidden", 5)->SetVisible(false);
  t->AddStringField("C", 5);
  t->OpenTable();
  AddRecord(*t, {"a", "h", "c"});
  EXPECT_EQ(t->SaveToTableText({mtfSaveData}), "\"A\",\"Hidden\",\"C\",\r\n\"a\",,\"c\",\r\n");
  EXPECT_EQ(t->SaveToTableText({mtfSaveData, mtfSkipRest}), "\"A\",\"C\",\r\n\"a\",\"c\",\r\n");
  EXPECT_EQ(t->SaveToTableText({mtfSaveData, mtfSaveNonVisible}),
            "\"A\",\"Hidden\",\"C\",\r\n\"a\",\"h\",\"c\",\r\n");
  EXPECT_EQ(t->SaveToTableText({mtfSaveData, mtfSaveNoHeader}), "\"a\",,\"c\",\r\n");
  // Without mtfSaveData no field gets a value.
  EXPECT_EQ(t->SaveToTableText({mtfSaveNonVisible}), "\"A\",\"Hidden\",\"C\",\r\n,,,\r\n");

  TempDir dir;
  const std::string path = dir / "t.tab";
  t->SaveToTableFile(path, {mtfSaveData});
  t->SaveToTableFile(path, {mtfSaveData, mtfSaveAppend});
  EXPECT_EQ(ReadFile(path),
            "\"A\",\"Hidden\",\"C\",\r\n\"a\",,\"c\",\r\n"
            "\"A\",\"Hidden\",\"C\",\r\n\"a\",,\"c\",\r\n");
}

TEST(TableFileFlags, DefinitionSectionIsWrittenAndRebuildsTheTable) {
  auto t = CreateImportTable();
  t->OpenTable();
  FillImportExample(*t);
  const std::string text = t->SaveToTableText({mtfSaveData, mtfSaveDef, mtfSaveIndexDef});
  EXPECT_EQ(text.substr(0, text.find(kImportHeader)),
            "\"@@FILE VERSION@@\",\"251\"\r\n"
            "\"@@TABLEDEF START@@\"\r\n"
            "\"Nazev=String,100,\"\"Nazev\"\",\"\"\"\",100,Data,\"\"\"\"\"\r\n"
            "\"KDXFile=String,12,\"\"KDXFile\"\",\"\"\"\",12,Data,\"\"\"\"\"\r\n"
            "\"SavePath=String,255,\"\"SavePath\"\",\"\"\"\",255,Data,\"\"\"\"\"\r\n"
            "\"InfoText=String,255,\"\"InfoText\"\",\"\"\"\",255,Data,\"\"\"\"\"\r\n"
            "\"EndText=String,255,\"\"EndText\"\",\"\"\"\",255,Data,\"\"\"\"\"\r\n"
            "\"@@INDEXDEF START@@\"\r\n"
            "\"IDX_KDXFile=\"\"KDXFile\"\",\"\"IDX_KDXFile\"\"\"\r\n"
            "\"@@INDEXDEF END@@\"\r\n"
            "\"@@TABLEDEF END@@\"\r\n");
  // A table without any declaration takes fields, sizes and indexes from the file.
  auto bare = std::make_unique<TMemTable>("Bare");
  bare->OpenTable();
  bare->LoadFromTableText(text);
  ASSERT_EQ(bare->FieldCount(), 5);
  EXPECT_EQ(bare->FieldByName("KDXFile")->Size(), 12);
  EXPECT_EQ(bare->IndexNames(), (std::vector<std::string>{"__MT__ROWORDER", "IDX_KDXFile"}));
  EXPECT_EQ(Dump(*bare), Dump(*t));
  EXPECT_EQ(bare->RecNo(), 1);

  auto e = CreateExportTable();
  e->FieldByName("Email")->SetReadOnly(true);
  e->FieldByName("Email")->SetRequired(true);
  e->OpenTable();
  const std::string etext = e->SaveToTableText({mtfSaveData, mtfSaveDef});
  EXPECT_NE(etext.find("\"Email=String,50,\"\"Email\"\",\"\"\"\",50,REQ,RO,Data,\"\"\"\"\"\r\n"),
            std::string::npos);
  EXPECT_NE(etext.find("\"EmailShow=Boolean,0,\"\"EmailShow\"\",\"\"\"\",5,Data,\"\"\"\"\"\r\n"),
            std::string::npos);
  auto ebare = std::make_unique<TMemTable>();
  ebare->OpenTable();
  ebare->LoadFromTableText(etext);
  EXPECT_EQ(ebare->FieldByName("EmailShow")->DataType(), TFieldType::Boolean);
  EXPECT_TRUE(ebare->FieldByName("Email")->ReadOnly());
  EXPECT_TRUE(ebare->FieldByName("Email")->Required());
}

TEST(TableFileFlags, UnknownFieldTypeFailsAndLeavesAnOpenTable) {
  auto t = OpenImport();
  const std::string text =
      "\"@@TABLEDEF START@@\"\r\n"
      "\"Name=String,10,\"\"Name\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
      "\"When=DateTime,0,\"\"When\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
      "\"@@TABLEDEF END@@\"\r\n\"Name\",\r\n\"x\",\r\n";
  t->IndexDefs().Clear();
  EXPECT_EQ(
      MessageOf([&] { t->LoadFromTableText(text); }),
      "Unknown field type (DateTime) in CSV file. (When=DateTime,0,\"When\",\"\",10,Data,\"\")");
  EXPECT_TRUE(t->Active());
  ASSERT_EQ(t->FieldCount(), 1);
  EXPECT_EQ(t->Fields(0)->FieldName(), "Name");
  EXPECT_EQ(t->RecordCount(), 0);
}

// A table with fixed definitions takes a definition section only when it declares the table's
// own definitions, as the table itself writes them; any other is refused before a record is
// read, and the table keeps its fields and records.
TEST(TableFileFixed, ASectionThatDiffersFromTheTablesOwnIsRefused) {
  const auto line = [](const std::string& name, const std::string& type, const std::string& rest) {
    return "\"" + name + "=" + type + ",\"\"" + name + "\"\",\"\"\"\"," + rest +
           ",Data,\"\"\"\"\"\r\n";
  };
  const std::string path = line("KDXFilePath", "String,255", "255");
  const std::string show = line("EmailShow", "Boolean,0", "5");
  const std::string index = "\"IDX_KDXFile=\"\"KDXFile\"\",\"\"IDX_KDXFile\"\"\"\r\n";
  struct Case {
    bool import;
    std::string from, to, problem;
  };
  const Case cases[] = {
      {false, path, "", "field definition (Email=String,50,"},  // ... differs from KDXFilePath
      {false, path, line("KDXFilePath", "String,8192", "255"), "differs from field KDXFilePath"},
      {false, path, line("KDXFilePath", "String,255", "255,RO"), "differs from field KDXFilePath"},
      {false, path, line("KDXFilePath", "DateTime,0", "10"), "differs from field KDXFilePath"},
      {false, path, line("KDXFilePath", "String,255", "255,INV"), "differs from field KDXFilePath"},
      {false, show, show + line("X", "String,8192", "8192"), "(X=String,8192,"},  // one too many
      {false, show, "", "field EmailShow is not defined"},
      {false, "\"@@INDEXDEF END@@\"", "\"I=\"\"Email\"\",\"\"I\"\"\"\r\n\"@@INDEXDEF END@@\"",
       "is one too many"},
      {true, index, "", "index IDX_KDXFile is not defined"},
      {true, index, "\"IDX_KDXFile=\"\"Nazev\"\",\"\"IDX_KDXFile\"\"\"\r\n",
       "differs from index IDX_KDXFile"},
  };
  for (const Case& c : cases) {
    auto t = c.import ? OpenImport() : OpenExport();
    AddRecord(*t, {TVariant("Own")});
    std::string own = t->SaveToTableText({mtfSaveData, mtfSaveDef, mtfSaveIndexDef});
    t->SetFixedDefinitions(true);
    const TField* second = t->Fields(1);
    std::string changed = own;
    ASSERT_NE(changed.find(c.from), std::string::npos) << c.from;
    changed.replace(changed.find(c.from), c.from.size(), c.to);
    const std::string message = MessageOf([&] { t->LoadFromTableText(changed); });
    const std::string table = c.import ? "ImportTable" : "ExportTable";
    EXPECT_EQ(message.rfind("Table file (in memory) does not match table " + table + ": ", 0), 0u)
        << message;
    EXPECT_NE(message.find(c.problem), std::string::npos) << message;
    ASSERT_TRUE(t->Active());
    EXPECT_EQ(t->FieldCount(), c.import ? 5 : 6);
    EXPECT_EQ(t->Fields(1), second);
    EXPECT_EQ(Column(*t, "Nazev"), std::vector<std::string>{"Own"});

    t->LoadFromTableText(own);  // what the table writes itself
    EXPECT_EQ(Column(*t, "Nazev"), (std::vector<std::string>{"Own", "Own"}));
  }

  // From a file, the message names it.
  TempDir dir;
  WriteFile(dir / "kdx_exp.tab", "\"@@TABLEDEF START@@\"\r\n\"@@TABLEDEF END@@\"\r\n");
  auto t = OpenExport();
  t->SetFixedDefinitions(true);
  EXPECT_EQ(MessageOf([&] { t->LoadFromTableFile(dir / "kdx_exp.tab"); }),
            "Table file " + (dir / "kdx_exp.tab") +
                " does not match table ExportTable: field Nazev is not defined");
}

TEST(TableFileFlags, WhatASectionMayDeclareIsBounded) {
  const auto section = [](int fields, const std::string& type) {
    std::string text = "\"@@TABLEDEF START@@\"\r\n";
    for (int i = 0; i < fields; ++i)
      text += "\"F" + std::to_string(i) + "=" + type + ",\"\"\"\",\"\"\"\",5,Data,\"\"\"\"\"\r\n";
    return text + "\"@@TABLEDEF END@@\"\r\n";
  };
  struct Case {
    int fields;
    std::string type, message;
  };
  const Case cases[] = {
      {TMemTable::kMaxLoadedFields, "Boolean,0", "(no error)"},
      {TMemTable::kMaxLoadedFields + 1, "Boolean,0", "Too many fields in CSV file."},
      {8, "String,8192", "(no error)"},  // 65536 bytes
      {9, "String,8192", "Field sizes exceed the record size in CSV file."},
  };
  for (const Case& c : cases) {
    TMemTable t;
    t.OpenTable();
    const std::string message = MessageOf([&] { t.LoadFromTableText(section(c.fields, c.type)); });
    EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.fields;
    EXPECT_TRUE(t.Active());
  }
}

TEST(TableFileFlags, SavingDeltasFailsBeforeAnyFileIsTouched) {
  TempDir dir;
  auto t = OpenImport();
  AddRecord(*t, {"a"});
  const std::string fresh = dir / "fresh.tab", old = dir / "old.tab";
  WriteFile(old, "previous contents");
  for (const std::string& path : {fresh, old}) {
    try {
      t->SaveToTableFile(path, {mtfSaveData, mtfSaveDeltas});
      FAIL() << "no error";
    } catch (const EMemTableError& e) {
      EXPECT_STREQ(e.what(), "Saving deltas is supported only in binary format.");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(fresh));
  EXPECT_EQ(ReadFile(old), "previous contents");
}

TEST(TableFileLoad, FailureMidwayKeepsPostedRecordsAndRestoresTheTable) {
  auto t = OpenImport();
  t->SetIndexName("IDX_KDXFile");
  Recorder rec;
  t->AttachListener(&rec);
  TMemTableTestPeer::Store(*t).SetSequenceCounter(TMemTableCommon::kMaxSequence - 2);
  const std::string text = std::string(kImportHeader) +
                           "\"n1\",\"B\",\r\n\"n2\",\"A\",\r\n\"n3\",\"C\",\r\n\"n4\",\"D\",\r\n";
  EXPECT_EQ(MessageOf([&] { t->LoadFromTableText(text); }),
            "Bookmark counter is out of range. Please close and reopen table.");
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(Column(*t, "KDXFile"), (std::vector<std::string>{"A", "B"}));  // index rebuilt
  t->First();
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "n2");
  // The controls heard nothing per record, and were refreshed once the load gave up.
  EXPECT_EQ(rec.Count(BindingEvent::FieldValue), 0);
  EXPECT_EQ(rec.Count(BindingEvent::WholeData), 1);
  t->DetachListener(&rec);
}

TEST(TableFileLoad, LoadReturnsToTheRememberedRecord) {
  auto t = OpenImport();
  AddRecord(*t, {"a"});
  AddRecord(*t, {"b"});
  t->Last();
  t->LoadFromTableText(std::string(kImportHeader) + "\"c\",\r\n");
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "b");
  EXPECT_EQ(Column(*t, "Nazev"), (std::vector<std::string>{"a", "b", "c"}));
}

#ifndef _WIN32
TEST(TableFileSave, FailedSavesLeaveTheOldFileWhole) {
  TempDir dir;
  auto t = OpenImport();
  FillImportExample(*t);
  const std::string path = dir / "kdx_imp.tab";
  WriteFile(path, "old contents");
  const auto leftovers = [&] {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      n += entry.path().filename() != "kdx_imp.tab";
    return n;
  };

  // A read-only file is not replaced.
  ::chmod(path.c_str(), 0444);
  if (::access(path.c_str(), W_OK) != 0) {  // (root may write anyway)
    EXPECT_EQ(MessageOf([&] { t->SaveToTableFile(path); }), "Cannot create file " + path);
    EXPECT_EQ(ReadFile(path), "old contents");
  }
  ::chmod(path.c_str(), 0644);

  // A write that fails half way (the file size limit) raises "Stream write error".
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const std::string message = MessageOf([&] { t->SaveToTableFile(path); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(message, "Stream write error");
  EXPECT_EQ(ReadFile(path), "old contents");
  EXPECT_EQ(leftovers(), 0);

  // A folder in the file's place, or a folder that does not exist: nothing can be created.
  std::filesystem::create_directory(dir / "folder.tab");
  EXPECT_EQ(MessageOf([&] { t->SaveToTableFile(dir / "folder.tab"); }),
            "Cannot create file " + (dir / "folder.tab"));
  std::filesystem::remove(dir / "folder.tab");
  const std::string nowhere = dir / "no/such/folder/kdx_imp.tab";
  EXPECT_EQ(MessageOf([&] { t->SaveToTableFile(nowhere); }), "Cannot create file " + nowhere);

  // A successful save replaces the file and keeps its permissions; a link stays a link.
  ::chmod(path.c_str(), 0640);
  t->SaveToTableFile(path);
  EXPECT_EQ(ReadFile(path), ImportExampleFile());
  struct stat st;
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  const std::string link = dir / "link.tab";
  std::filesystem::create_symlink(path, link);
  AddRecord(*t, {"third"});
  t->SaveToTableFile(link);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_NE(ReadFile(path).find("\"third\""), std::string::npos);
  EXPECT_EQ(leftovers(), 1);  // the link itself
}

// An installation that lets users write the table file but not its folder: no temporary file
// can be made beside it, so the save writes the file in place, keeping its owner and mode.
TEST(TableFileSave, AWritableFileInAFolderThatIsNotIsWrittenInPlace) {
  TempDir dir;
  auto t = OpenImport();
  FillImportExample(*t);
  const std::string folder = dir / "program";
  std::filesystem::create_directory(folder);
  const std::string path = folder + "/kdx_imp.tab";
  WriteFile(path, "old contents");
  ::chmod(dir.Path().c_str(), 0755);
  ::chmod(path.c_str(), 0666);
  ::chmod(folder.c_str(), 0555);
  // Run as a user who may not write the folder (root may write anywhere).
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
        try {
          t->SaveToTableFile(path);
        } catch (const std::exception& e) {
          std::fprintf(stderr, "%s\n", e.what());
          std::_Exit(3);
        }
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(ReadFile(path), ImportExampleFile());
  struct stat st;
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}
#else
TEST(TableFileSave, ReadOnlyFilesAreNotReplaced) {
  TempDir dir;
  auto t = OpenImport();
  FillImportExample(*t);
  const std::string path = dir / "kdx_imp.tab";
  WriteFile(path, "old contents");
  std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_EQ(MessageOf([&] { t->SaveToTableFile(path); }), "Cannot create file " + path);
  EXPECT_EQ(ReadFile(path), "old contents");
  std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  t->SaveToTableFile(path);
  EXPECT_EQ(ReadFile(path), ImportExampleFile());
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    files += !entry.is_directory();
  EXPECT_EQ(files, 1);
}
#endif

TEST(TableFileLoad, DuplicatesInAUniqueIndexLeaveAWholeTableWithACurrentRecord) {
  // The load fails once every record is in; every index then holds them all (the unique one
  // too, sorted) and the first record is current, so editing and deleting work.
  const std::string fields =
      "\"@@TABLEDEF START@@\"\r\n"
      "\"Code=String,10,\"\"Code\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
      "\"Name=String,10,\"\"Name\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
      "\"@@INDEXDEF START@@\"\r\n";
  const std::string rest =
      "\"@@INDEXDEF END@@\"\r\n\"@@TABLEDEF END@@\"\r\n\"Code\",\"Name\",\r\n"
      "\"b\",\"1\",\r\n\"a\",\"2\",\r\n\"A\",\"3\",\r\n";
  for (const char* options : {",UNIQ", ",NONMT,UNIQ", ",CASE,UNIQ", ",CASE,NONMT,UNIQ"}) {
    const std::string definition = std::string("\"U=\"\"Code\"\",\"\"U\"\"") + options + "\"\r\n";
    // Case-sensitive, "a" and "A" differ; a second "a" repeats.
    const std::string extra =
        std::string(options).find("CASE") == std::string::npos ? "\"a\",\"4\",\r\n" : "";
    auto t = CreateImportTable();
    t->SetIndexName("U");  // remembered, selected when the section opens the table
    t->OpenTable();
    EXPECT_EQ(MessageOf([&] { t->LoadFromTableText(fields + definition + rest + extra); }),
              "Duplicate index value. Operation aborted.")
        << options;
    ASSERT_TRUE(t->Active());
    const int count = extra.empty() ? 3 : 4;
    EXPECT_EQ(t->RecordCount(), count) << options;
    EXPECT_EQ(t->RecNo(), 1) << options;
    EXPECT_EQ(t->IndexName(), "U");
    t->SetIndexName("");
    EXPECT_EQ(t->RecordCount(), count);
    EXPECT_EQ(Column(*t, "Name").front(), "1");  // the row order is in file order
    t->First();
    t->EditRecord();
    t->FieldByName("Name")->SetAsString("edited");
    t->PostRecord();
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "edited");
    t->DeleteRecord();
    EXPECT_EQ(t->RecordCount(), count - 1);
    EXPECT_EQ(t->RecNo(), 1);
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "2");
  }
}
