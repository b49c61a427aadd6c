// FindRecord: the receive lookup, walking against binary search, keys, options and errors.

#include <random>

#include "MemTableTestSupport.h"

using namespace kdx;
using namespace kdx::test;

namespace {

std::unique_ptr<TMemTable> ImportWithFiles(const std::vector<std::string>& files) {
  auto t = OpenImport();
  int i = 0;
  for (const auto& f : files) AddRecord(*t, {TVariant("n" + std::to_string(i++)), TVariant(f)});
  return t;
}

// The first record of the current index whose KDXFile equals `key` by the given rule, as its
// Nazev; "" when none does.
std::string BruteForce(TMemTable& t, const std::string& key, bool ignoreCase) {
  TField* f = t.FieldByName("KDXFile");
  for (int i = 1; i <= t.RecordCount(); ++i) {
    if (t.IsNullAt(i, *f)) continue;
    if (text::CompareText(t.DisplayTextAt(i, *f), key, ignoreCase, t.LocaleID()) == 0)
      return t.DisplayTextAt(i, *t.FieldByName("Nazev"));
  }
  return {};
}

// Many names differing only in letter case, Czech letters among them (UTF-8 here, cp1250 in
// the table).
const std::vector<const char*> kStems = {"pob1_pb.kdx", "POB1_PB.KDX", "Pob1_Pb.kdx", "sklad.kdx",
                                         "SKLAD.KDX",   "čáry.kdx",    "ČÁRY.KDX",    "a.kdx",
                                         "z.kdx",       "chata.kdx"};

// FindRecord over KDXFile, with and without regard to case, for every stem: it finds what a walk
// over the current index finds, the first equal record.
void ExpectFindsWhatAWalkFinds(TMemTable& t, const std::vector<const char*>& stems,
                               const std::string& context) {
  for (const char* stem : stems) {
    for (bool ignoreCase : {true, false}) {
      const std::string key = Cp(stem);
      const std::string expected = BruteForce(t, key, ignoreCase);
      TLocateOptions options;
      if (ignoreCase) options.Include(loCaseInsensitive);
      const bool found = t.FindRecord("KDXFile", TVariant(key), options);
      EXPECT_EQ(found, !expected.empty()) << context << " " << stem << " " << ignoreCase;
      if (found) {
        EXPECT_EQ(t.FieldByName("Nazev")->AsString(), expected) << context << " " << stem;
      }
    }
  }
}

}  // namespace

TEST(FindRecord, ReceiveLookupIgnoresCaseAndRefusesOverlongKeys) {
  auto t = ImportWithFiles({"other.kdx", "pob1_pb.kdx", "ABCDEFGHIJKL"});
  t->SetIndexName("IDX_KDXFile");
  EXPECT_TRUE(t->FindRecord("KDXFile", TVariant("POB1_PB.KDX"), {loCaseInsensitive}));
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "pob1_pb.kdx");
  // Without the option letter case counts.
  EXPECT_FALSE(t->FindRecord("KDXFile", TVariant("POB1_PB.KDX")));
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "pob1_pb.kdx");  // cursor unmoved
  // A 13-character key is not cut to the field's 12 and matches nothing.
  EXPECT_FALSE(t->FindRecord("KDXFile", TVariant("ABCDEFGHIJKLM"), {loCaseInsensitive}));
  EXPECT_TRUE(t->FindRecord("KDXFile", TVariant("abcdefghijkl"), {loCaseInsensitive}));
}

TEST(FindRecord, OtherFieldsWalkTheCurrentIndexAndPartialKeysMatchBeginnings) {
  auto t = ImportWithFiles({"B.KDX", "A.KDX", "C.KDX"});
  t->SetIndexName("IDX_KDXFile");
  EXPECT_TRUE(t->FindRecord("nazev", TVariant("n0")));
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "B.KDX");
  EXPECT_EQ(t->RecNo(), 2);
  EXPECT_FALSE(t->FindRecord("Nazev", TVariant("n9")));
  EXPECT_EQ(t->RecNo(), 2);
  EXPECT_TRUE(t->FindRecord("KDXFile", TVariant("c."), {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "C.KDX");
  EXPECT_FALSE(t->FindRecord("KDXFile", TVariant("c."), {loCaseInsensitive}));
  // Several fields take an array of values; a null value matches a null field.
  AddRecord(*t, {TVariant("n3"), TVariant()});
  EXPECT_TRUE(t->FindRecord("Nazev;KDXFile", TVariant::Array({TVariant("n1"), TVariant("A.KDX")})));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "n1");
  EXPECT_TRUE(t->FindRecord("KDXFile", TVariant()));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "n3");
  // Truth values are searched as truth values.
  auto e = OpenExport();
  AddRecord(*e, {"no", TVariant(), TVariant(), TVariant(), TVariant(), TVariant(false)});
  AddRecord(*e, {"yes", TVariant(), TVariant(), TVariant(), TVariant(), TVariant(true)});
  EXPECT_TRUE(e->FindRecord("EmailShow", TVariant(true)));
  EXPECT_EQ(e->FieldByName("Nazev")->AsString(), "yes");
  EXPECT_TRUE(e->FindRecord("EmailShow", TVariant("False")));
  EXPECT_EQ(e->FieldByName("Nazev")->AsString(), "no");
}

TEST(FindRecord, ArgumentErrors) {
  auto t = ImportWithFiles({"A"});
  auto message = [&](const std::string& fields, const TVariant& v) -> std::string {
    try {
      t->FindRecord(fields, v);
    } catch (const Exception& e) {
      return e.what();
    }
    return "(no error)";
  };
  EXPECT_EQ(message("", TVariant("A")), "There must be at least one field");
  EXPECT_EQ(message(" ; ", TVariant("A")), "There must be at least one field");
  EXPECT_EQ(message("Nazev;KDXFile", TVariant("A")), "More fields than values");
  EXPECT_EQ(message("Nazev;KDXFile", TVariant::Array({TVariant("A")})), "More fields than values");
  EXPECT_EQ(message("Nazev", TVariant::Array({TVariant("A")}, 2)),
            "Values variant array has invalid dimension count");
  EXPECT_EQ(message("Nothing", TVariant("A")), "Field 'Nothing' not found");
  try {
    t->FindRecord("KDXFile", TVariant("A"));
  } catch (const EMemTableError&) {
    FAIL();
  }
  t->CloseTable();
  EXPECT_EQ(message("Nazev", TVariant("A")), "Cannot perform this operation on a closed dataset");
}

TEST(FindRecord, BinarySearchAndWalkFindTheSameFirstRecord) {
  // Above 20 records the index is binary-searched; the answer must be the first equal record in
  // index order, as a walk finds it. Many duplicates differing only in case.
  std::mt19937 random(7);
  for (int size : {5, 20, 21, 64, 300}) {
    auto t = OpenImport();
    t->SetLocaleID(kCzech);
    for (int i = 0; i < size; ++i)
      AddRecord(*t, {TVariant("n" + std::to_string(i)), TVariant(Cp(kStems[random() % 10]))});
    // After a save and load into an empty table, ties stand in file order.
    const std::string text = t->SaveToTableText();
    t->CloseTable();
    t->OpenTable();
    t->LoadFromTableText(text);
    t->SetIndexName("IDX_KDXFile");
    ExpectFindsWhatAWalkFinds(*t, kStems, "size " + std::to_string(size));
  }
}

TEST(FindRecord, DuplicateNamesAfterALoadFindTheFirstInTheFile) {
  auto t = OpenImport();
  std::string file = "\"Nazev\",\"KDXFile\",\r\n";
  for (int i = 0; i < 40; ++i)
    file += "\"n" + std::to_string(i) + "\",\"" +
            (i % 3 == 0 ? "DUP.KDX" : "x" + std::to_string(i)) + "\",\r\n";
  t->SetIndexName("IDX_KDXFile");
  t->LoadFromTableText(file);
  EXPECT_TRUE(t->FindRecord("KDXFile", TVariant("dup.kdx"), {loCaseInsensitive}));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "n0");
}

TEST(FindRecord, PartialKeysFindTheFirstMatchEvenWhereMatchesAreNotTogether) {
  // In Czech order "ch" follows "h", so stored texts beginning with "c" stand in two groups.
  // A binary search would land in the "ch" group in the middle and miss the "ca" group at the
  // top.
  auto t = OpenImport();
  t->SetLocaleID(kCzech);
  t->SetIndexName("IDX_KDXFile");
  std::vector<std::string> files;
  for (int i = 0; i < 2; ++i) files.push_back("ca" + std::to_string(i));
  for (int i = 0; i < 3; ++i) files.push_back("d" + std::to_string(i));
  for (int i = 0; i < 10; ++i) files.push_back("h" + std::to_string(i));
  for (int i = 0; i < 10; ++i) files.push_back("ch" + std::to_string(i));
  for (int i = 0; i < 5; ++i) files.push_back("i" + std::to_string(i));
  for (const auto& f : files) AddRecord(*t, {TVariant(f), TVariant(f)});
  ASSERT_EQ(t->DisplayTextAt(16, *t->FieldByName("KDXFile")), "ch0");
  EXPECT_TRUE(t->FindRecord("KDXFile", TVariant("C"), {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "ca0");
  EXPECT_TRUE(t->FindRecord("KDXFile", TVariant("ch"), {loPartialKey}));
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "ch0");
}

TEST(FindRecord, EveryMixOfCaseRulesInIndexAndSearchFindsTheFirstEqualRecord) {
  // Above 20 records the index is binary-searched. Whether the index or the search ignores
  // letter case (or both, or neither), and whichever way the index runs, the answer is the
  // first record in index order that the search's rule calls equal.
  const TIndexOptions indexOptions[] = {
      {}, {ixCaseInsensitive}, {ixDescending}, {ixCaseInsensitive, ixDescending}};
  std::mt19937 random(11);
  for (const TIndexOptions& indexOption : indexOptions) {
    auto t = CreateImportTable();
    t->SetLocaleID(kCzech);
    t->IndexDefs().Clear();
    t->IndexDefs().Add("I", "KDXFile", indexOption);
    t->OpenTable();
    t->SetIndexName("I");
    for (int i = 0; i < 150; ++i)
      AddRecord(*t, {TVariant("n" + std::to_string(i)), TVariant(Cp(kStems[random() % 10]))});
    ExpectFindsWhatAWalkFinds(*t, kStems, "index " + std::to_string(indexOption.Bits()));
  }
}

namespace {

// The first record of the current index whose Nazev and KDXFile equal `nazev` and `file` by
// the given rule, as its row number; 0 when none does.
int BruteForceTwo(TMemTable& t, const std::string& nazev, const std::string& file,
                  bool ignoreCase) {
  TField* a = t.FieldByName("Nazev");
  TField* b = t.FieldByName("KDXFile");
  for (int i = 1; i <= t.RecordCount(); ++i) {
    if (text::CompareText(t.DisplayTextAt(i, *a), nazev, ignoreCase, t.LocaleID()) == 0 &&
        text::CompareText(t.DisplayTextAt(i, *b), file, ignoreCase, t.LocaleID()) == 0)
      return i;
  }
  return 0;
}

std::unique_ptr<TMemTable> TwoFieldIndexTable(TIndexOptions options) {
  auto t = CreateImportTable();
  t->SetLocaleID(kCzech);
  t->IndexDefs().Clear();
  t->IndexDefs().Add("AB", "Nazev;KDXFile", options);
  t->OpenTable();
  t->SetIndexName("AB");
  return t;
}

}  // namespace

TEST(FindRecord, ACaseBlindSearchOnACaseSensitiveTwoFieldIndexFindsRecordsOfEveryCase) {
  // In the index's order every "a" record precedes every "A" one, so the records that equal
  // [a, k] without regard to case do not stand together when the second field counts too.
  auto t = TwoFieldIndexTable({});
  for (char b = 'a'; b <= 'k'; ++b) AddRecord(*t, {TVariant("a"), TVariant(std::string(1, b))});
  for (char b = 'a'; b <= 't'; ++b)
    if (b != 'k') AddRecord(*t, {TVariant("A"), TVariant(std::string(1, b))});
  ASSERT_GT(t->RecordCount(), 20);
  EXPECT_TRUE(t->FindRecord("Nazev;KDXFile", TVariant::Array({TVariant("a"), TVariant("k")}),
                            {loCaseInsensitive}));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "a");
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "k");
  EXPECT_TRUE(t->FindRecord("Nazev;KDXFile", TVariant::Array({TVariant("A"), TVariant("K")}),
                            {loCaseInsensitive}));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "a");
  EXPECT_TRUE(t->FindRecord("Nazev;KDXFile", TVariant::Array({TVariant("a"), TVariant("T")}),
                            {loCaseInsensitive}));
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "t");
  EXPECT_FALSE(t->FindRecord("Nazev;KDXFile", TVariant::Array({TVariant("A"), TVariant("k")})));
}

TEST(FindRecord, TwoFieldIndexesOfEveryKindAgreeWithAWalkOnRandomRecords) {
  // Texts that differ in case, accents or the Czech "ch", in both fields, in random order; every
  // key against a walk over the index, under both search rules, for every kind of index.
  const char* texts[] = {"a", "A", "á", "Á", "b", "B", "ch", "Ch", "CH", "h", "c", "č", "Č"};
  const TIndexOptions indexOptions[] = {
      {}, {ixCaseInsensitive}, {ixDescending}, {ixCaseInsensitive, ixDescending}};
  std::mt19937 random(23);
  for (const TIndexOptions& indexOption : indexOptions) {
    for (int size : {21, 60, 400}) {
      auto t = TwoFieldIndexTable(indexOption);
      for (int i = 0; i < size; ++i)
        AddRecord(*t, {TVariant(Cp(texts[random() % 13])), TVariant(Cp(texts[random() % 13]))});
      for (const char* a : texts) {
        for (const char* b : texts) {
          for (bool ignoreCase : {true, false}) {
            const int expected = BruteForceTwo(*t, Cp(a), Cp(b), ignoreCase);
            TLocateOptions options;
            if (ignoreCase) options.Include(loCaseInsensitive);
            const bool found = t->FindRecord(
                "Nazev;KDXFile", TVariant::Array({TVariant(Cp(a)), TVariant(Cp(b))}), options);
            ASSERT_EQ(found, expected != 0) << size << " " << a << "/" << b << " " << ignoreCase;
            if (found) {
              EXPECT_EQ(t->RecNo(), expected) << size << " " << a << "/" << b;
            }
          }
        }
      }
    }
  }
}
