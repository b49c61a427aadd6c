// Loading records and rebuilding indexes: the values a record line gives wherever the line falls
// among the reader's blocks, texts stored over one another, a load that begins during an edit,
// and the order and duplicates of indexes over several fields, truth values and long texts.

#include <algorithm>
#include <random>
#include <set>

#include "MemTableTestSupport.h"

using namespace kdx;
using namespace kdx::test;

namespace {

const std::string kHeader = "\"Nazev\",\"KDXFile\",\"SavePath\",\"InfoText\",\"EndText\",\r\n";

// The fields of the current record: "null" or the text in brackets.
std::string Fields(TMemTable& t) {
  std::string out;
  for (int f = 0; f < t.FieldCount(); ++f) {
    TField* field = t.Fields(f);
    out += field->IsNull() ? "null|" : "[" + field->AsString() + "]|";
  }
  return out;
}

// Record lines and the import record each gives.
struct Line {
  std::string text;
  std::string fields;
};
const Line kLines[] = {
    {"\"a\"\"b\",\"c\"\"\",\"\"\"\",\"\",", "[a\"b]|[c\"]|[\"]|[]|null|"},
    {"\"x\"\"y\"\"z,", "[x\"y\"]|null|null|null|null|"},  // no closing quote
    {"\"50%", "[]|null|null|null|null|"},                 // ... and nothing doubled
    {"\"abc%%d\"\"e%n\",,\"%c%x%\",", "[abc%d\"e\n]|null|[\r%x%]|null|null|"},
    {"\"%n%c%0tail\",\"0123456789%n%%%%\",", "[\n\r]|[0123456789\n%]|null|null|null|"},
    {",\"abcdefghijkl%0\",\"abcdefghijk%%%%\",", "null|[abcdefghijkl]|[abcdefghijk%%]|null|null|"},
    {"x\"a\"y\"b\"", "[a]|[b]|null|null|null|"},  // stray characters; no delimiter at the end
    {",,\"c\"", "null|null|[c]|null|null|"},
    {"\"" + std::string(300, 'q') + "\",\"k\",",
     "[" + std::string(100, 'q') + "]|[k]|null|null|null|"},
};

TEST(LoadRecords, ValuesAreTheSameWhereverTheLineFallsAmongTheBlocks) {
  for (const Line& line : kLines) {
    // Alone, then after a first record long enough to put the line across the end of the
    // reader's first block at every place, with each of the line ends.
    for (int shift = -1; shift <= static_cast<int>(line.text.size()) + 2; ++shift) {
      for (const char* end : {"\r\n", "\n", "\r", ""}) {
        std::string file = kHeader;
        if (shift >= 0) {
          const std::size_t fill = 8192 - shift - file.size() - 5;
          file += "\"" + std::string(fill, 'f') + "\",\r\n";
        }
        file += line.text + end;
        auto t = OpenImport();
        t->LoadFromTableText(file);
        ASSERT_EQ(t->RecordCount(), shift >= 0 ? 2 : 1) << line.text;
        t->Last();
        EXPECT_EQ(Fields(*t), line.fields) << line.text << " shifted " << shift;
      }
    }
  }
}

TEST(LoadRecords, ALaterColumnOfTheSameFieldReplacesTheWholeText) {
  auto t = OpenImport();
  t->LoadFromTableText(
      "\"Nazev\",\"NAZEV\",\"KDXFile\",\"kdxfile\",\"SavePath\",\"savepath\",\r\n"
      "\"a long first text\",\"ab\",\"%%%%%%%%%%%%%%\",\"x%0y\",\"kept\",,\r\n"
      "\"first\",\"%n\",\"abcdefghijklm\",\"z\"\"\",,\"\",\r\n");
  t->First();
  EXPECT_EQ(Fields(*t), "[ab]|[x]|null|null|null|");  // the later null clears "kept"
  t->Next();
  EXPECT_EQ(Fields(*t), "[\n]|[z\"]|[]|null|null|");
}

TEST(LoadRecords, ALoadDuringAnEditPostsAChangedRecordAndDropsAnUnchangedInsert) {
  auto t = OpenImport();
  AddRecord(*t, {"a"});
  t->EditRecord();
  t->FieldByName("Nazev")->SetAsString("edited");
  t->LoadFromTableText(kHeader + "\"b\",\r\n");
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(Column(*t, "Nazev"), (std::vector<std::string>{"edited", "b"}));
  t->InsertRecord();
  t->LoadFromTableText(kHeader + "\"c\",\r\n");
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(Column(*t, "Nazev"), (std::vector<std::string>{"edited", "b", "c"}));
}

// Compares two records (by position in the current index) field by field as an index over
// `keys` orders them.
int CompareByKeys(TMemTable& t, int a, int b, const std::vector<std::string>& keys, bool descending,
                  bool ignoreCase) {
  for (const std::string& name : keys) {
    TField* f = t.FieldByName(name);
    const bool nullA = t.IsNullAt(a, *f), nullB = t.IsNullAt(b, *f);
    int r;
    if (nullA || nullB) {
      r = nullA == nullB ? 0 : (nullA ? -1 : 1);
    } else if (f->DataType() == TFieldType::Boolean) {
      const bool x = t.DisplayTextAt(a, *f) == "True", y = t.DisplayTextAt(b, *f) == "True";
      r = x == y ? 0 : (x ? 1 : -1);
    } else {
      r = text::CompareText(t.DisplayTextAt(a, *f), t.DisplayTextAt(b, *f), ignoreCase, kCzech);
    }
    if (descending) r = -r;
    if (r != 0) return r;
  }
  return 0;
}

TEST(RebuildOrder, IndexesOverSeveralFieldsTruthValuesAndLongTextsOrderLikeTheCollation) {
  // Texts that share long beginnings (over the first bytes of their keys), differ in case and
  // accents only, and are long enough for keys of hundreds of bytes; truth values; nulls.
  // (ß sorts as "ss", so its key outgrows the room first offered for it.)
  const char* stems[] = {"", "a", "A", "č", "Č", "ch", "CH", "c", "h", "žluťoučký", "Žluťoučký"};
  std::mt19937 random(20261209);
  const auto text = [&](std::size_t longest) {
    std::string s;
    const std::size_t parts = random() % 4;
    for (std::size_t i = 0; i < parts; ++i) s += Cp(stems[random() % 11]);
    if (random() % 5 == 0) {
      std::string run;
      while (run.size() < longest - 3) run += random() % 2 ? Cp("ß") : "p";
      s = run + s;
    }
    return s.substr(0, longest);
  };
  struct Index {
    const char* name;
    std::vector<std::string> fields;
    TIndexOptions options;
  };
  const Index indexes[] = {
      {"AB", {"A", "B"}, {}},
      {"BCA", {"B", "C", "A"}, {ixDescending, ixCaseInsensitive}},
      {"CB", {"C", "B"}, {ixCaseInsensitive}},
      {"A", {"A"}, {ixDescending}},
      {"UA", {"A"}, {ixUnique}},
  };
  for (int round = 0; round < 3; ++round) {
    auto source = std::make_unique<TMemTable>("T");
    source->AddStringField("A", 300);
    source->AddStringField("B", 12);
    source->AddBooleanField("C");
    source->AddStringField("Seq", 10);
    source->OpenTable();
    const int n = round == 0 ? 40 : 700;  // more records than the rebuild samples its keys from
    for (int i = 0; i < n; ++i) {
      source->AppendRecord();
      if (random() % 9) source->Fields(0)->SetAsString(text(300));
      if (random() % 9) source->Fields(1)->SetAsString(text(12));
      if (random() % 5) source->Fields(2)->SetAsBoolean(random() % 2);
      source->Fields(3)->SetAsString(std::to_string(i));
      source->PostRecord();
    }
    // With the definitions, loaded into a table that has no records: every index is rebuilt
    // from the store, whose slot order is the file order.
    auto t = std::make_unique<TMemTable>("T");
    t->SetLocaleID(kCzech);
    t->OpenTable();
    std::string defs = source->SaveToTableText({mtfSaveData, mtfSaveDef});
    const std::string marker = "\"@@TABLEDEF END@@\"";
    std::string indexDefs = "\"@@INDEXDEF START@@\"\r\n";
    for (const Index& index : indexes) {
      std::string fields;
      for (const std::string& f : index.fields) fields += (fields.empty() ? "" : ";") + f;
      indexDefs += "\"" + std::string(index.name) + "=\"\"" + fields + "\"\",\"\"\"\"";
      if (index.options.Contains(ixDescending)) indexDefs += ",DESC";
      if (index.options.Contains(ixCaseInsensitive)) indexDefs += ",CASE";
      if (index.options.Contains(ixUnique)) indexDefs += ",UNIQ";
      indexDefs += "\"\r\n";
    }
    indexDefs += "\"@@INDEXDEF END@@\"\r\n";
    defs.insert(defs.find(marker), indexDefs);
    const std::string failure = MessageOf([&] { t->LoadFromTableText(defs); });
    ASSERT_EQ(t->RecordCount(), n);
    bool duplicates = false;
    for (const Index& index : indexes) {
      t->SetIndexName(index.name);
      const bool descending = index.options.Contains(ixDescending);
      const bool ignoreCase = index.options.Contains(ixCaseInsensitive);
      for (int i = 1; i < n; ++i) {
        const int r = CompareByKeys(*t, i, i + 1, index.fields, descending, ignoreCase);
        ASSERT_LE(r, 0) << index.name << " at " << i;
        if (r == 0) {  // equal keys keep file (slot) order
          ASSERT_LT(std::stoi(t->DisplayTextAt(i, *t->FieldByName("Seq"))),
                    std::stoi(t->DisplayTextAt(i + 1, *t->FieldByName("Seq"))))
              << index.name << " at " << i;
          if (index.options.Contains(ixUnique)) duplicates = true;
        }
      }
    }
    EXPECT_EQ(failure, duplicates ? "Duplicate index value. Operation aborted." : "(no error)");
  }
}

}  // namespace

TEST(RebuildOrder, ALargeTableIsOrderedAsOneWhereverItsFreedSlotsLie) {
  // Enough records for a rebuild to share the key computation between two threads, with the slots
  // of deleted records all in the first half of the store, so that the halves hold different
  // numbers of records; keys that begin alike ("c", "č", "ch", "h" order apart in Czech).
  const char* stems[] = {"c", "č", "ch", "h", "C", "Č"};
  std::mt19937 random(20261208);
  std::vector<int> numbers(17000);
  for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<int>(i);
  std::shuffle(numbers.begin(), numbers.end(), random);
  const auto key = [&](int number) { return Cp(stems[number % 6]) + std::to_string(number); };
  const auto lines = [&](std::size_t from, std::size_t to) {
    std::string text = "\"A\",\r\n";
    for (std::size_t i = from; i < to; ++i) text += "\"" + key(numbers[i]) + "\",\r\n";
    return text;
  };

  auto t = std::make_unique<TMemTable>("T");
  t->SetLocaleID(kCzech);
  t->AddStringField("A", 20);
  t->IndexDefs().Add("K", "A", {ixCaseInsensitive, ixUnique});
  t->OpenTable();
  t->LoadFromTableText(lines(0, 16000));
  // Every other record of the first 8000 goes; 1000 new ones take some of their slots.
  t->First();
  for (int i = 0; i < 4000; ++i) {
    t->DeleteRecord();
    t->Next();
  }
  EXPECT_EQ(MessageOf([&] { t->LoadFromTableText(lines(16000, 17000)); }), "(no error)");

  std::multiset<std::string> expected;
  for (std::size_t i = 0; i < 17000; ++i)
    if (i >= 8000 || i % 2 == 1) expected.insert(key(numbers[i]));
  ASSERT_EQ(t->RecordCount(), static_cast<int>(expected.size()));
  t->SetIndexName("K");
  TField& a = *t->FieldByName("A");
  std::multiset<std::string> listed;
  for (int i = 1; i <= t->RecordCount(); ++i) {
    listed.insert(t->DisplayTextAt(i, a));
    if (i > 1) {
      ASSERT_LT(text::CompareText(t->DisplayTextAt(i - 1, a), t->DisplayTextAt(i, a), true, kCzech),
                0)
          << "at " << i;
    }
  }
  EXPECT_EQ(listed, expected);

  // A key that differs only in case from one in the second half, loaded into a freed slot of
  // the first: the rebuild finds the duplicate across the halves.
  const std::string late = key(numbers[15999]);
  EXPECT_EQ(MessageOf([&] {
              t->LoadFromTableText("\"A\",\r\n\"" + text::AnsiUpperCase(late) + "\",\r\n");
            }),
            "Duplicate index value. Operation aborted.");
}
