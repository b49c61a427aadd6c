// The work of posts, deletes and loads over indexes (counted in records examined, not timed), and
// the bookkeeping that makes it small: positions of records in the row order and sorted indexes
// under long runs of inserts, edits and deletes, checked against a plain model.

#include <algorithm>
#include <random>

#include "../src/MemIndex.h"
#include "MemTableTestSupport.h"

using namespace kdx;
using namespace kdx::test;

namespace {

constexpr int kRecords = 4000;  // log2 is about 12

std::string RandomFile(std::mt19937& random) {
  std::string file;
  for (int c = 0; c < 6; ++c) file.push_back("ABCDEFGHIJKLMNOPQRSTUVWXYZ"[random() % 26]);
  return file + ".KDX";
}

// Records examined per operation while `f` runs `operations` of them.
template <typename F>
double ExaminedPer(int operations, F f) {
  const std::uint64_t before = RecordsExamined();
  f();
  return static_cast<double>(RecordsExamined() - before) / operations;
}

}  // namespace

TEST(IndexWork, PostsAndDeletesExamineLogarithmicallyManyRecords) {
  std::mt19937 random(3);
  auto t = OpenImport();  // the row order current, IDX_KDXFile maintained beside it
  EXPECT_LT(
      ExaminedPer(
          kRecords,
          [&] {
            for (int i = 0; i < kRecords; ++i)
              AddRecord(*t, {TVariant("n" + std::to_string(i)), TVariant(RandomFile(random))});
          }),
      40);
  // Inserts before the current record, with the sorted index current.
  t->SetIndexName("IDX_KDXFile");
  t->First();
  EXPECT_LT(ExaminedPer(kRecords / 4,
                        [&] {
                          for (int i = 0; i < kRecords / 4; ++i) {
                            t->MoveBy(static_cast<int>(random() % 7));
                            t->InsertRecord();
                            t->FieldByName("KDXFile")->SetAsString(RandomFile(random));
                            t->PostRecord();
                          }
                        }),
            80);
  // Edits that change the key move the record in the sorted index.
  EXPECT_LT(ExaminedPer(kRecords / 4,
                        [&] {
                          for (int i = 0; i < kRecords / 4; ++i) {
                            t->MoveBy(static_cast<int>(random() % 11) - 5);
                            t->EditRecord();
                            t->FieldByName("KDXFile")->SetAsString(RandomFile(random));
                            t->PostRecord();
                          }
                        }),
            80);
  // Deletes, with each index current in turn: the other one is searched by key.
  for (const char* index : {"IDX_KDXFile", ""}) {
    t->SetIndexName(index);
    t->First();
    EXPECT_LT(ExaminedPer(kRecords / 4,
                          [&] {
                            for (int i = 0; i < kRecords / 4; ++i) {
                              t->MoveBy(static_cast<int>(random() % 3));
                              t->DeleteRecord();
                            }
                          }),
              80)
        << index;
  }
}

TEST(IndexWork, RecordsAmongEqualKeysAreFoundWithoutWalkingTheirRun) {
  // New records without a KDXFile all go to the top of IDX_KDXFile, before one another.
  auto t = OpenImport();
  for (int i = 0; i < kRecords; ++i) AddRecord(*t, {TVariant("n" + std::to_string(i))});
  t->First();
  t->MoveBy(kRecords / 2);
  EXPECT_LT(ExaminedPer(kRecords / 4,
                        [&] {
                          for (int i = 0; i < kRecords / 4; ++i) t->DeleteRecord();
                        }),
            40);
  t->SetIndexName("IDX_KDXFile");
  t->First();
  t->MoveBy(kRecords / 4);
  EXPECT_LT(ExaminedPer(kRecords / 4,
                        [&] {
                          for (int i = 0; i < kRecords / 4; ++i) {
                            t->EditRecord();
                            t->FieldByName("KDXFile")->SetAsString("K" + std::to_string(i));
                            t->PostRecord();
                            t->First();
                            t->MoveBy(kRecords / 4);
                          }
                        }),
            80);
  t->SetIndexName("");
  EXPECT_EQ(t->RecordCount(), kRecords * 3 / 4);
  EXPECT_EQ(t->DisplayTextAt(kRecords / 2, *t->FieldByName("Nazev")),
            "n" + std::to_string(kRecords / 2 - 1));
  EXPECT_EQ(t->DisplayTextAt(kRecords / 2 + 1, *t->FieldByName("Nazev")),
            "n" + std::to_string(kRecords / 2 + kRecords / 4));
}

TEST(IndexWork, LoadingIntoAUniqueIndexExaminesNoMoreThanIntoAPlainOne) {
  std::mt19937 random(5);
  std::string file = "\"Nazev\",\"KDXFile\",\r\n";
  for (int i = 0; i < kRecords; ++i)
    file +=
        "\"n" + std::to_string(i) + "\",\"" + std::to_string(i) + RandomFile(random) + "\",\r\n";
  for (bool unique : {false, true}) {
    auto t = CreateImportTable();
    if (unique) t->IndexDefs()[0].Options.Include(ixUnique);
    t->OpenTable();
    EXPECT_LT(ExaminedPer(kRecords, [&] { t->LoadFromTableText(file); }), 40) << unique;
    EXPECT_EQ(t->RecordCount(), kRecords);
    // After the load a post is checked against its neighbours in the unique index.
    t->AppendRecord();
    t->FieldByName("KDXFile")->SetAsString(t->DisplayTextAt(7, *t->FieldByName("KDXFile")));
    EXPECT_EQ(MessageOf([&] { t->PostRecord(); }),
              unique ? "Duplicate index value. Operation aborted." : "(no error)");
  }
}

TEST(IndexWork, RandomInsertsEditsAndDeletesKeepEveryIndexInOrder) {
  // A model of the row order (a list of names) and of the current record, against the table
  // under a long random run. Inserts at one place over and over use up the room between row
  // order keys, so the row order is renumbered many times on the way.
  std::mt19937 random(17);
  auto t = OpenImport();
  std::vector<std::string> rowOrder;
  int next = 0;
  const auto name = [&] { return t->FieldByName("Nazev")->AsString(); };
  // First 100 inserts, each before the one posted last, between the same two records: far more
  // halvings than the room between two row order keys allows.
  AddRecord(*t, {TVariant("first")});
  AddRecord(*t, {TVariant("last")});
  rowOrder = {"first", "last"};
  for (int i = 0; i < 100; ++i) {
    t->InsertRecord();
    t->FieldByName("Nazev")->SetAsString("s" + std::to_string(i));
    t->PostRecord();
    rowOrder.insert(rowOrder.begin() + 1, "s" + std::to_string(i));
  }
  ASSERT_EQ(Column(*t, "Nazev"), rowOrder);
  for (int step = 0; step < 3000; ++step) {
    const bool rowOrderCurrent = t->IndexName().empty();
    const unsigned op = random() % 10;
    if (op < 4 || rowOrder.empty()) {
      // Insert before the current record (at one place for long stretches), or append.
      const bool append = op == 0;
      const std::string before = rowOrder.empty() ? std::string() : name();
      const std::string added = "r" + std::to_string(next++);
      if (append)
        t->AppendRecord();
      else
        t->InsertRecord();
      t->FieldByName("Nazev")->SetAsString(added);
      t->FieldByName("KDXFile")->SetAsString(std::string(1, static_cast<char>('a' + random() % 4)));
      t->PostRecord();
      auto at = rowOrder.end();
      if (!append && rowOrderCurrent && !before.empty())
        at = std::find(rowOrder.begin(), rowOrder.end(), before);
      rowOrder.insert(at, added);
      ASSERT_EQ(name(), added) << step;
    } else if (op < 6) {
      const std::string edited = name();
      t->EditRecord();
      t->FieldByName("KDXFile")->SetAsString(std::string(1, static_cast<char>('a' + random() % 4)));
      t->PostRecord();
      ASSERT_EQ(name(), edited) << step;
    } else if (op < 8) {
      // The following record becomes current, or the new last one.
      const int recNo = t->RecNo();
      const std::string deleted = name();
      t->DeleteRecord();
      rowOrder.erase(std::find(rowOrder.begin(), rowOrder.end(), deleted));
      const int count = t->RecordCount();
      ASSERT_EQ(t->RecNo(), count == 0 ? -1 : std::min(recNo, count)) << step;
    } else if (op == 8) {
      t->SetIndexName(random() % 2 ? "IDX_KDXFile" : "");
    } else {
      t->MoveBy(static_cast<int>(random() % 9) - 4);
    }
    if (step % 100 == 99 || step == 2999) {
      const std::string current = rowOrder.empty() ? std::string() : name();
      const std::string index = t->IndexName();
      t->SetIndexName("");
      ASSERT_EQ(Column(*t, "Nazev"), rowOrder) << step;
      t->SetIndexName("IDX_KDXFile");
      const std::vector<std::string> keys = Column(*t, "KDXFile");
      ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end())) << step;
      ASSERT_EQ(keys.size(), rowOrder.size());
      t->SetIndexName(index);
      ASSERT_EQ(rowOrder.empty() ? std::string() : name(), current) << step;
    }
  }
}
