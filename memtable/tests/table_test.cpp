// States, record placement, deletion, the record store, index selection and the index order.

#include <cstring>
#include <random>

#include "../src/MemTableCommon.h"
#include "MemTableTestSupport.h"

using namespace kdx;
using namespace kdx::test;

namespace {

std::unique_ptr<TMemTable> ImportWith(const std::vector<std::string>& names) {
  auto t = OpenImport();
  for (const auto& n : names) AddRecord(*t, {TVariant(n), TVariant(n)});
  return t;
}

}  // namespace

TEST(TableStates, OpenCloseAndTheClosedTableErrors) {
  auto t = CreateImportTable();
  EXPECT_EQ(t->State(), dsInactive);
  EXPECT_EQ(MessageOf([&] { t->RecordCount(); }),
            "Cannot perform this operation on a closed dataset");
  EXPECT_TRUE(t->IsEmpty());
  t->OpenTable();
  t->OpenTable();  // no effect
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(t->IndexNames(), (std::vector<std::string>{"__MT__ROWORDER", "IDX_KDXFile"}));
  AddRecord(*t, {"a"});
  // Closing during an edit drops the change and every record; reopening leaves it empty.
  t->EditRecord();
  t->FieldByName("Nazev")->SetAsString("changed");
  t->CloseTable();
  t->CloseTable();  // no effect
  EXPECT_EQ(t->State(), dsInactive);
  EXPECT_TRUE(t->FieldByName("Nazev")->IsNull());
  t->OpenTable();
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_TRUE(t->IsEmpty());
}

TEST(TableStates, PostCancelAndTheirErrors) {
  auto t = OpenImport();
  EXPECT_EQ(MessageOf([&] { t->PostRecord(); }), "Dataset not in edit or insert mode");
  t->CancelRecord();  // nothing in browse state
  t->InsertRecord();
  EXPECT_EQ(t->State(), dsInsert);
  t->FieldByName("Nazev")->SetAsString("x");
  EXPECT_TRUE(t->Modified());
  t->CancelRecord();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->RecordCount(), 0);
  // EditRecord on an empty table starts an insert.
  t->EditRecord();
  EXPECT_EQ(t->State(), dsInsert);
  t->FieldByName("Nazev")->SetAsString("first");
  t->PostRecord();
  EXPECT_EQ(t->RecordCount(), 1);
  t->EditRecord();
  EXPECT_EQ(t->State(), dsEdit);
  EXPECT_FALSE(t->Modified());
  t->FieldByName("Nazev")->SetAsString("second");
  EXPECT_EQ(t->DisplayTextAt(1, *t->FieldByName("Nazev")), "first");  // store unchanged yet
  t->CancelRecord();
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "first");
}

TEST(TableStates, SettlePostsOnlyAModifiedRecord) {
  auto t = OpenImport();
  t->InsertRecord();
  t->SettleRecord();  // untouched: cancelled
  EXPECT_EQ(t->RecordCount(), 0);
  t->InsertRecord();
  t->FieldByName("Nazev")->SetAsString("kept");
  t->SettleRecord();
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->State(), dsBrowse);
  // A move settles too: an edit is posted by Next.
  AddRecord(*t, {"b"});
  t->First();
  t->EditRecord();
  t->FieldByName("Nazev")->SetAsString("kept2");
  t->Next();
  EXPECT_EQ(Column(*t, "Nazev"), (std::vector<std::string>{"kept2", "b"}));
}

TEST(RecordPlacement, InsertGoesBeforeTheCurrentRecordAppendToTheEnd) {
  auto t = ImportWith({"first", "second", "third"});
  t->First();
  t->Next();
  ASSERT_EQ(t->RecNo(), 2);
  t->InsertRecord();
  t->FieldByName("Nazev")->SetAsString("new");
  t->PostRecord();
  EXPECT_EQ(Column(*t, "Nazev"), (std::vector<std::string>{"first", "new", "second", "third"}));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "new");
  EXPECT_EQ(t->RecNo(), 2);
  t->First();
  t->AppendRecord();
  t->FieldByName("Nazev")->SetAsString("appended");
  t->PostRecord();
  EXPECT_EQ(t->RecNo(), 5);
  EXPECT_EQ(Column(*t, "Nazev").back(), "appended");
  // On an empty table the new record is the only one.
  auto e = OpenImport();
  e->InsertRecord();
  e->FieldByName("Nazev")->SetAsString("only");
  e->PostRecord();
  EXPECT_EQ(Column(*e, "Nazev"), (std::vector<std::string>{"only"}));
}

TEST(RecordPlacement, SortedIndexPlacesNewRecordsAndRowOrderTakesThemAtTheEnd) {
  auto t = ImportWith({"C.KDX", "A.KDX", "E.KDX"});
  t->SetIndexName("IDX_KDXFile");
  EXPECT_EQ(Column(*t, "KDXFile"), (std::vector<std::string>{"A.KDX", "C.KDX", "E.KDX"}));
  t->InsertRecord();
  t->FieldByName("Nazev")->SetAsString("D");
  t->FieldByName("KDXFile")->SetAsString("D.KDX");
  t->PostRecord();
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "D.KDX");
  EXPECT_EQ(t->RecNo(), 3);
  t->InsertRecord();
  t->FieldByName("Nazev")->SetAsString("nullkey");  // KDXFile null sorts first
  t->PostRecord();
  EXPECT_EQ(Column(*t, "Nazev"),
            (std::vector<std::string>{"nullkey", "A.KDX", "C.KDX", "D", "E.KDX"}));
  t->SetIndexName("");
  EXPECT_EQ(Column(*t, "Nazev"),
            (std::vector<std::string>{"C.KDX", "A.KDX", "E.KDX", "D", "nullkey"}));
}

TEST(RecordPlacement, EditingAKeyMovesTheRecordAndTheCursorFollows) {
  auto t = ImportWith({"B", "D", "F"});
  t->SetIndexName("IDX_KDXFile");
  t->First();  // B
  t->EditRecord();
  t->FieldByName("KDXFile")->SetAsString("E");
  t->PostRecord();
  EXPECT_EQ(Column(*t, "KDXFile"), (std::vector<std::string>{"D", "E", "F"}));
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "E");
  EXPECT_EQ(t->RecNo(), 2);
  // The row order is untouched by the edit.
  t->SetIndexName("");
  EXPECT_EQ(Column(*t, "Nazev"), (std::vector<std::string>{"B", "D", "F"}));
}

TEST(Deletion, CursorKeepsItsPositionAndEmptyTableFails) {
  auto t = ImportWith({"a", "b", "c"});
  t->First();
  t->Next();
  t->DeleteRecord();
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "c");
  t->DeleteRecord();  // the last one: the new last becomes current
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "a");
  t->DeleteRecord();
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_TRUE(t->FieldByName("Nazev")->IsNull());
  EXPECT_EQ(MessageOf([&] { t->DeleteRecord(); }),
            "Cannot perform this operation on an empty dataset");
  // In insert state a delete only cancels; in edit state the record goes with its changes.
  AddRecord(*t, {"x"});
  t->InsertRecord();
  t->DeleteRecord();
  EXPECT_EQ(t->RecordCount(), 1);
  t->EditRecord();
  t->FieldByName("Nazev")->SetAsString("y");
  t->DeleteRecord();
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(t->State(), dsBrowse);
}

TEST(Deletion, DeletedRecordsLeaveEverySortedIndex) {
  auto t = ImportWith({"B", "A", "C"});
  t->SetIndexName("IDX_KDXFile");
  t->First();  // A
  t->DeleteRecord();
  EXPECT_EQ(Column(*t, "KDXFile"), (std::vector<std::string>{"B", "C"}));
  t->SetIndexName("");
  EXPECT_EQ(Column(*t, "KDXFile"), (std::vector<std::string>{"B", "C"}));
}

TEST(RecordStore, FreedSlotsAreReusedLastFreedFirst) {
  TMemTableCommon store;
  store.SetRecordSize(4);
  const unsigned char data[4] = {1, 2, 3, 4};
  TMemRecord* r[4];
  for (auto& x : r) x = store.AddRecord(data);
  EXPECT_EQ(r[3]->SlotNumber(), 3);
  EXPECT_EQ(r[3]->Sequence(), 4);
  store.DeleteRecord(r[1]);
  store.DeleteRecord(r[2]);
  EXPECT_EQ(store.Slot(1), nullptr);
  TMemRecord* a = store.AddRecord(data);
  TMemRecord* b = store.AddRecord(data);
  TMemRecord* c = store.AddRecord(data);
  EXPECT_EQ(a->SlotNumber(), 2);
  EXPECT_EQ(b->SlotNumber(), 1);
  EXPECT_EQ(c->SlotNumber(), 4);
  EXPECT_EQ(c->Sequence(), 7);
  EXPECT_EQ(store.RecordCount(), 5u);
  EXPECT_EQ(std::memcmp(c->Data(), data, 4), 0);
  store.Clear();
  EXPECT_EQ(store.RecordCount(), 0u);
  EXPECT_EQ(store.SequenceCounter(), 0);
}

TEST(RecordStore, SequenceCounterHasALimitUntilTheTableIsReopened) {
  auto t = OpenImport();
  TMemTableTestPeer::Store(*t).SetSequenceCounter(TMemTableCommon::kMaxSequence - 1);
  AddRecord(*t, {"last"});
  t->AppendRecord();
  t->FieldByName("Nazev")->SetAsString("one too many");
  try {
    t->PostRecord();
    FAIL() << "no error";
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "Bookmark counter is out of range. Please close and reopen table.");
  }
  // The failed post keeps the insert and its buffer.
  EXPECT_EQ(t->State(), dsInsert);
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "one too many");
  EXPECT_EQ(t->RecordCount(), 1);
  t->CloseTable();
  t->OpenTable();
  AddRecord(*t, {"fresh"});
  EXPECT_EQ(t->RecordCount(), 1);
}

TEST(RecordStore, LockIsReentrant) {
  auto t = OpenImport();
  std::lock_guard outer(TMemTableTestPeer::Store(*t).Lock());
  AddRecord(*t, {"inside"});  // takes the lock again on the same thread
  EXPECT_EQ(t->RecordCount(), 1);
}

TEST(Cursor, MovesStopAtTheEndsAndReportBofEof) {
  auto t = ImportWith({"a", "b", "c"});
  t->First();
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(t->MoveBy(5), 2);
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "c");
  EXPECT_EQ(t->MoveBy(-1), -1);
  EXPECT_FALSE(t->Eof());
  t->Prior();
  t->Prior();
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(t->RecNo(), 1);
  t->Last();
  EXPECT_EQ(t->RecNo(), 3);
  auto e = OpenImport();
  EXPECT_EQ(e->MoveBy(1), 0);
  EXPECT_TRUE(e->Bof() && e->Eof());
  EXPECT_EQ(e->RecNo(), -1);
}

TEST(IndexSelection, NamesIgnoreCaseUnknownNamesAreIgnoredAndSurviveClosing) {
  auto t = ImportWith({"B", "A"});
  t->SetIndexName("idx_kdxfile");
  EXPECT_EQ(t->IndexName(), "IDX_KDXFile");
  EXPECT_EQ(t->IndexFieldNames(), "KDXFile");
  EXPECT_EQ(Column(*t, "KDXFile"), (std::vector<std::string>{"A", "B"}));
  t->SetIndexName("NoSuchIndex");
  EXPECT_EQ(t->IndexName(), "IDX_KDXFile");
  // The selection comes back after CloseTable/OpenTable, and a load uses it.
  t->CloseTable();
  t->OpenTable();
  EXPECT_EQ(t->IndexName(), "IDX_KDXFile");
  AddRecord(*t, {"n1", "Z"});
  AddRecord(*t, {"n2", "M"});
  EXPECT_EQ(Column(*t, "KDXFile"), (std::vector<std::string>{"M", "Z"}));
  // A name set while closed is applied by the next open.
  t->CloseTable();
  t->SetIndexName("");
  t->OpenTable();
  EXPECT_EQ(t->IndexName(), "");
  AddRecord(*t, {"n1", "Z"});
  AddRecord(*t, {"n2", "M"});
  EXPECT_EQ(Column(*t, "KDXFile"), (std::vector<std::string>{"Z", "M"}));
}

TEST(IndexSelection, CurrentRecordStaysCurrentAcrossIndexes) {
  auto t = ImportWith({"C", "A", "B"});
  t->First();  // C in row order
  t->SetIndexName("IDX_KDXFile");
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "C");
  EXPECT_EQ(t->RecNo(), 3);
}

TEST(IndexDefinitions, BadDefinitionsFailOnOpen) {
  auto t = CreateImportTable();
  t->IndexDefs().Add("Broken", "");
  EXPECT_EQ(MessageOf([&] { t->OpenTable(); }), "Missing Name or FieldNames in IndexDef!");
  EXPECT_FALSE(t->Active());
  t->IndexDefs()[1].Fields = "NoField";
  EXPECT_EQ(MessageOf([&] { t->OpenTable(); }), "Field 'NoField' not found");
  t->IndexDefs()[1].Fields = "Nazev";
  t->OpenTable();
  EXPECT_TRUE(t->Active());
}

TEST(IndexDefinitions, UniqueDescendingAndCaseInsensitiveOptions) {
  auto t = std::make_unique<TMemTable>("T");
  t->AddStringField("Code", 10);
  t->IndexDefs().Add("U", "Code", {ixUnique, ixCaseInsensitive});
  t->IndexDefs().Add("D", "Code", {ixDescending});
  t->OpenTable();
  AddRecord(*t, {"abc"});
  AddRecord(*t, {"xyz"});
  t->AppendRecord();
  t->Fields(0)->SetAsString("ABC");
  EXPECT_EQ(MessageOf([&] { t->PostRecord(); }), "Duplicate index value. Operation aborted.");
  EXPECT_EQ(t->State(), dsInsert);  // the record stays in insert state
  t->Fields(0)->SetAsString("mno");
  t->PostRecord();
  // Editing a record to its own key is no duplicate.
  t->EditRecord();
  t->Fields(0)->SetAsString("MNO");
  t->PostRecord();
  t->SetIndexName("D");
  EXPECT_EQ(Column(*t, "Code"), (std::vector<std::string>{"xyz", "MNO", "abc"}));
}

TEST(IndexOrder, RebuildOrdersLikeTheCollationWithTiesInSlotOrder) {
  // Enough records for the quicksort to do real work; texts with Czech letters, case
  // differences, duplicates and nulls.
  const char* words[] = {"čaj", "Čaj",       "cukr", "chata", "hrad", "",      "a",
                         "A",   "žluťoučký", "50%",  "zebra", "ŽÁBA", "Chata", "ch",
                         "c",   "d",         "dům",  "Dům",   "iglú", "x"};
  std::mt19937 random(12345);
  auto t = std::make_unique<TMemTable>("T");
  t->SetLocaleID(kCzech);
  t->AddStringField("Key", 12);
  t->AddStringField("Seq", 10);
  t->IndexDefs().Add("ByKey", "Key");
  t->OpenTable();
  const int n = 600;
  for (int i = 0; i < n; ++i) {
    const unsigned pick = random() % 21;
    t->AppendRecord();
    if (pick < 20) t->Fields(0)->SetAsString(Cp(words[pick]));
    t->Fields(1)->SetAsString(std::to_string(i));
    t->PostRecord();
  }
  // A save and load into an empty table rebuilds every index from the store.
  const std::string text = t->SaveToTableText();
  t->CloseTable();
  t->OpenTable();
  t->LoadFromTableText(text);
  t->SetIndexName("ByKey");
  ASSERT_EQ(t->RecordCount(), n);
  TField* key = t->Fields(0);
  for (int i = 1; i < n; ++i) {
    const bool nullA = t->IsNullAt(i, *key), nullB = t->IsNullAt(i + 1, *key);
    const std::string a = t->DisplayTextAt(i, *key), b = t->DisplayTextAt(i + 1, *key);
    int r = nullA || nullB ? (nullA == nullB ? 0 : (nullA ? -1 : 1))
                           : text::CompareText(a, b, false, kCzech);
    ASSERT_LE(r, 0) << i;
    if (r == 0) {  // equal keys keep file (slot) order
      EXPECT_LT(std::stoi(t->DisplayTextAt(i, *t->Fields(1))),
                std::stoi(t->DisplayTextAt(i + 1, *t->Fields(1))))
          << i;
    }
  }
  // Maintained inserts agree with the rebuilt order: each new record lands before the first
  // record that does not sort below it.
  for (int i = 0; i < 50; ++i) {
    const unsigned pick = random() % 20;
    t->AppendRecord();
    t->Fields(0)->SetAsString(Cp(words[pick]));
    t->Fields(1)->SetAsString("m" + std::to_string(i));
    t->PostRecord();
    const int at = t->RecNo();
    if (at > 1 && !t->IsNullAt(at - 1, *key)) {
      EXPECT_LT(text::CompareText(t->DisplayTextAt(at - 1, *key), Cp(words[pick]), false, kCzech),
                0);
    }
    if (at < t->RecordCount()) {
      EXPECT_GE(text::CompareText(t->DisplayTextAt(at + 1, *key), Cp(words[pick]), false, kCzech),
                0);
    }
  }
}

TEST(IndexOrder, AnUnknownLocaleIsReportedWhenTextsAreCompared) {
  auto t = CreateImportTable();
  t->SetLocaleID(0x7FFF);
  t->OpenTable();  // empty indexes compare nothing
  t->SetIndexName("IDX_KDXFile");
  AddRecord(*t, {"a", "A"});
  t->AppendRecord();
  t->FieldByName("KDXFile")->SetAsString("B");
  EXPECT_EQ(MessageOf([&] { t->PostRecord(); }), "Invalid locale. 32767");
  EXPECT_EQ(t->State(), dsInsert);
  t->CancelRecord();
  EXPECT_EQ(MessageOf([&] { t->FindRecord("KDXFile", TVariant("A")); }), "Invalid locale. 32767");
}

TEST(TableStates, ATableWithoutFieldsStillCountsRecords) {
  TMemTable t("Empty");
  t.OpenTable();
  t.AppendRecord();
  t.PostRecord();
  t.EditRecord();
  t.PostRecord();
  t.LoadFromTableText(",\r\n,\r\n");
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.SaveToTableText(), ",\r\n,\r\n,\r\n");
}
