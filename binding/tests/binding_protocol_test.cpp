// The listener protocol of data sources and data links, driven through real tables.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/binding/DataLink.h"
#include "kdx/binding/DataSource.h"
#include "kdx/memtable/Schemas.h"

namespace kdx {
namespace {

using test::Cp;

// A link that writes down every notification it gets, tagged with its name.
class RecordingLink : public TDataLink {
 public:
  RecordingLink(std::string name, std::vector<std::string>* log, bool visual)
      : name_(std::move(name)), log_(log) {
    SetVisualControl(visual);
  }

 protected:
  void ActiveChanged() override { Log("active"); }
  void DataSetChanged() override { Log("whole"); }
  void DataSetScrolled(int distance) override { Log("scroll" + std::to_string(distance)); }
  void RecordChanged(TField* field) override { Log(field ? "field" : "record"); }

 private:
  void Log(const std::string& what) { log_->push_back(name_ + ":" + what); }
  std::string name_;
  std::vector<std::string>* log_;
};

// A field link standing in for an edit box: `pending` is the text the box holds.
struct FakeEdit {
  explicit FakeEdit(TDataSource* source, const std::string& field) {
    link.OnDataChange = [this] {
      ++shown;
      pending = link.Field() ? link.Field()->DisplayText() : std::string();
    };
    link.OnUpdateData = [this] { link.Field()->SetEditText(pending); };
    link.OnFocusRequest = [this] { ++focusRequests; };
    link.SetDataSource(source);
    link.SetFieldName(field);
  }
  // Typing: begin editing, change the text, mark modified (as the edit box does).
  bool Type(const std::string& text) {
    if (!link.Edit()) return false;
    pending = text;
    link.Modified();
    return true;
  }
  TFieldDataLink link;
  std::string pending;
  int shown = 0;
  int focusRequests = 0;
};

std::unique_ptr<TMemTable> ExportWith(const std::vector<std::string>& names) {
  auto table = CreateExportTable();
  table->OpenTable();
  for (const std::string& name : names) {
    table->AppendRecord();
    table->FieldByName("Nazev")->SetAsString(name);
    table->PostRecord();
  }
  table->First();
  return table;
}

// A grid of the Nazev column over a data source of an export table holding `names`.
struct NameGrid {
  explicit NameGrid(const std::vector<std::string>& names)
      : table(ExportWith(names)), source(table.get()) {
    grid.SetColumns({"Nazev"});
    grid.SetDataSource(&source);
  }
  std::unique_ptr<TMemTable> table;
  TDataSource source;
  TGridDataLink grid;
};

std::vector<std::string> Names(TMemTable& table) {
  std::vector<std::string> names;
  TField* field = table.FieldByName("Nazev");
  for (int i = 1; i <= table.RecordCount(); ++i) names.push_back(table.DisplayTextAt(i, *field));
  return names;
}

TEST(BindingDelivery, NonVisualFirstThenVisualEachInReverseOrderOfAttachment) {
  auto table = ExportWith({"a", "b"});
  TDataSource source(table.get());
  std::vector<std::string> log;
  RecordingLink n1("n1", &log, false), v1("v1", &log, true), n2("n2", &log, false),
      v2("v2", &log, true);
  for (TDataLink* link : std::vector<TDataLink*>{&n1, &v1, &n2, &v2}) link->SetDataSource(&source);
  ASSERT_EQ(source.LinkCount(), 4);
  EXPECT_EQ(source.Links(0), &n1);  // kept in the order of attachment

  log.clear();
  table->Next();
  EXPECT_EQ(log,
            (std::vector<std::string>{"n2:scroll1", "n1:scroll1", "v2:scroll1", "v1:scroll1"}));

  // Detached links hear nothing more; the others keep their order.
  n2.SetDataSource(nullptr);
  log.clear();
  table->First();
  EXPECT_EQ(log, (std::vector<std::string>{"n1:scroll-1", "v2:scroll-1", "v1:scroll-1"}));
}

TEST(BindingDelivery, NothingButStateChangeWhileInactive) {
  auto table = ExportWith({"a"});
  TDataSource source(table.get());
  std::vector<std::string> log;
  RecordingLink link("l", &log, true);
  link.SetDataSource(&source);
  EXPECT_TRUE(link.Active());

  log.clear();
  table->CloseTable();
  EXPECT_EQ(log, std::vector<std::string>{"l:active"});
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(source.State(), dsInactive);

  // A layout change of the closed table does not reach the link.
  log.clear();
  table->ClearFields();
  DefineExportTable(*table);
  EXPECT_TRUE(log.empty());

  table->OpenTable();
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(source.State(), dsBrowse);

  // A disabled data source looks inactive to its links.
  source.SetEnabled(false);
  EXPECT_FALSE(link.Active());
  log.clear();
  table->AppendRecord();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(source.State(), dsInactive);
  source.SetEnabled(true);
  EXPECT_TRUE(link.Active());
  EXPECT_TRUE(link.Editing());
}

TEST(BindingEditing, BeginEditingFollowsAutoEditReadOnlyAndTheTable) {
  auto table = ExportWith({"a"});
  TDataSource source(table.get());
  FakeEdit edit(&source, "Nazev");

  source.SetAutoEdit(false);
  EXPECT_FALSE(edit.link.Edit());
  EXPECT_EQ(table->State(), dsBrowse);

  source.SetAutoEdit(true);
  edit.link.SetReadOnly(true);
  EXPECT_FALSE(edit.link.Edit());
  EXPECT_EQ(table->State(), dsBrowse);

  edit.link.SetReadOnly(false);
  EXPECT_TRUE(edit.link.Edit());
  EXPECT_EQ(table->State(), dsEdit);
  EXPECT_TRUE(edit.link.Editing());

  // A read-only field cannot be edited through the link even while the table edits.
  FakeEdit email(&source, "Email");
  table->FieldByName("Email")->SetReadOnly(true);
  email.link.SetFieldName("");
  email.link.SetFieldName("Email");
  EXPECT_FALSE(email.link.Editing());
  EXPECT_FALSE(email.link.Edit());

  // A closed table gives no field and no editing.
  table->CloseTable();
  EXPECT_EQ(edit.link.Field(), nullptr);
  EXPECT_FALSE(edit.link.Edit());
  EXPECT_EQ(edit.pending, "");
}

TEST(BindingEditing, BeginEditingOnAnEmptyTableStartsANewRecord) {
  auto table = ExportWith({});
  TDataSource source(table.get());
  FakeEdit edit(&source, "Nazev");
  EXPECT_TRUE(edit.Type(Cp("první")));
  EXPECT_EQ(table->State(), dsInsert);
  table->SettleRecord();
  EXPECT_EQ(Names(*table), std::vector<std::string>{Cp("první")});
}

TEST(BindingEditing, UnknownFieldNameFailsWhenResolved) {
  auto table = ExportWith({"a"});
  TDataSource source(table.get());
  TFieldDataLink link;
  link.SetDataSource(&source);
  try {
    link.SetFieldName("Nic");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'Nic' not found");
  }
}

TEST(BindingSettle, PendingTextIsWrittenBeforeAMovePostsIt) {
  auto table = ExportWith({"a", "b", "c"});
  TDataSource source(table.get());
  FakeEdit name(&source, "Nazev");
  FakeEdit email(&source, "Email");

  ASSERT_TRUE(name.Type(Cp("přejmenováno")));
  ASSERT_TRUE(email.Type("x@example.cz"));
  // Nothing reached the fields yet: only the boxes hold the text.
  EXPECT_EQ(table->FieldByName("Nazev")->AsString(), "a");

  table->Next();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecNo(), 2);
  EXPECT_EQ(Names(*table), (std::vector<std::string>{Cp("přejmenováno"), "b", "c"}));
  EXPECT_EQ(table->DisplayTextAt(1, *table->FieldByName("Email")), "x@example.cz");
  // The boxes now show the new current record and hold nothing pending.
  EXPECT_EQ(name.pending, "b");
  EXPECT_FALSE(name.link.IsModified());
}

TEST(BindingSettle, EveryMoveEditInsertAndIndexChangeSettlesFirst) {
  auto table = CreateImportTable();
  table->OpenTable();
  for (const char* file : {"C.KDX", "A.KDX", "B.KDX"}) {
    table->AppendRecord();
    table->FieldByName("KDXFile")->SetAsString(file);
    table->PostRecord();
  }
  table->First();
  TDataSource source(table.get());
  FakeEdit file(&source, "KDXFile");

  const std::vector<std::pair<const char*, std::function<void()>>> operations = {
      {"First", [&] { table->First(); }},
      {"Last", [&] { table->Last(); }},
      {"MoveBy", [&] { table->MoveBy(0); }},
      {"InsertRecord", [&] { table->InsertRecord(); }},
      {"SetIndexName", [&] { table->SetIndexName(kImportKdxFileIndex); }},
      {"FindRecord", [&] { table->FindRecord("KDXFile", TVariant("nic"), {}); }},
  };
  int n = 0;
  for (const auto& [what, operation] : operations) {
    table->CancelRecord();
    table->SetIndexName("");
    table->First();
    const std::string text = "F" + std::to_string(++n) + ".KDX";
    ASSERT_TRUE(file.Type(text)) << what;
    operation();
    EXPECT_NE(table->State(), dsEdit) << what;
    EXPECT_TRUE(table->FindRecord("KDXFile", TVariant(text), {})) << what << ": text lost";
  }
}

TEST(BindingSettle, SaveWritesPendingTextOfTheRecordBeingEdited) {
  auto table = ExportWith({"a"});
  TDataSource source(table.get());
  FakeEdit name(&source, "Nazev");
  ASSERT_TRUE(name.Type(Cp("uloženo")));

  test::TempDir dir;
  const std::string path = dir / "kdx_exp.tab";
  table->SaveToTableFile(path);
  const std::string bytes = test::ReadFile(path);

  EXPECT_NE(bytes.find(Cp("\"uloženo\"")), std::string::npos) << bytes;
  EXPECT_EQ(table->State(), dsBrowse);
}

TEST(BindingSettle, AnUnchangedEditIsCancelledByTheMove) {
  auto table = ExportWith({"a", "b"});
  TDataSource source(table.get());
  FakeEdit name(&source, "Nazev");

  // Typing and then Esc in the box: the box shows the field again, the table keeps editing.
  ASSERT_TRUE(name.Type("zahozeno"));
  const int shownBefore = name.shown;
  name.link.Reset();
  EXPECT_GT(name.shown, shownBefore);
  EXPECT_EQ(name.pending, "a");
  EXPECT_FALSE(name.link.IsModified());
  EXPECT_EQ(table->State(), dsEdit);

  table->Next();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_FALSE(table->Modified());
  EXPECT_EQ(Names(*table), (std::vector<std::string>{"a", "b"}));
}

TEST(BindingSettle, TheWriterDoesNotHearItsOwnWriteButOtherControlsDo) {
  auto table = ExportWith({"a"});
  TDataSource source(table.get());
  FakeEdit writer(&source, "Nazev");
  FakeEdit mirror(&source, "Nazev");  // e.g. the grid's label on the same field
  ASSERT_TRUE(writer.Type(Cp("nové")));
  const int writerShown = writer.shown;
  writer.link.UpdateRecord();
  EXPECT_EQ(writer.shown, writerShown);
  EXPECT_EQ(mirror.pending, Cp("nové"));
  EXPECT_FALSE(writer.link.IsModified());
  EXPECT_FALSE(writer.link.Updating());
}

TEST(BindingSettle, FocusRequestReachesOnlyTheControlOfThatField) {
  auto table = ExportWith({"a"});
  TDataSource source(table.get());
  FakeEdit name(&source, "Nazev");
  FakeEdit email(&source, "Email");
  table->FieldByName("Email")->FocusControl();
  EXPECT_EQ(name.focusRequests, 0);
  EXPECT_EQ(email.focusRequests, 1);
}

TEST(BindingLifetime, ADestroyedDataSourceUnbindsItsControls) {
  auto table = ExportWith({"a"});
  auto source = std::make_unique<TDataSource>(table.get());
  FakeEdit name(source.get(), "Nazev");
  TGridDataLink grid;
  grid.SetColumns({"Nazev"});
  grid.SetDataSource(source.get());
  EXPECT_EQ(name.pending, "a");
  EXPECT_EQ(grid.RowCount(), 1);

  source.reset();
  EXPECT_EQ(name.link.DataSource(), nullptr);
  EXPECT_FALSE(name.link.Active());
  EXPECT_EQ(name.link.Field(), nullptr);
  EXPECT_EQ(name.pending, "");  // the control shows nothing
  EXPECT_EQ(grid.DataSource(), nullptr);
  EXPECT_EQ(grid.RowCount(), 0);

  // The table no longer calls the dead source.
  table->Next();
  table->CloseTable();
}

TEST(BindingLifetime, LinksAndTablesMayGoFirst) {
  auto table = ExportWith({"a"});
  TDataSource source(table.get());
  {
    FakeEdit gone(&source, "Nazev");
    EXPECT_EQ(source.LinkCount(), 1);
  }
  EXPECT_EQ(source.LinkCount(), 0);

  FakeEdit name(&source, "Nazev");
  table.reset();
  EXPECT_EQ(source.DataSet(), nullptr);
  EXPECT_EQ(source.State(), dsInactive);
  EXPECT_FALSE(name.link.Active());
  EXPECT_EQ(name.link.Field(), nullptr);
}

TEST(GridLink, RowsFollowTheTableAndShowTheInsertedRecordAtTheCursor) {
  NameGrid names({"a", "b", "c"});
  auto& [table, source, grid] = names;
  EXPECT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.CurrentRow(), 0);

  table->Next();
  table->InsertRecord();
  EXPECT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.InsertRow(), 1);
  EXPECT_EQ(grid.CurrentRow(), 1);
  table->FieldByName("Nazev")->SetAsString(Cp("nový"));
  std::vector<std::string> cells;
  for (int row = 0; row < grid.RowCount(); ++row) cells.push_back(grid.CellText(row, 0));
  EXPECT_EQ(cells, (std::vector<std::string>{"a", Cp("nový"), "b", "c"}));
  table->PostRecord();
  EXPECT_EQ(Names(*table), (std::vector<std::string>{"a", Cp("nový"), "b", "c"}));
  EXPECT_EQ(grid.CurrentRow(), 1);

  // The current row of a record being edited shows the changed value before the post.
  table->EditRecord();
  table->FieldByName("Nazev")->SetAsString("upraveno");
  EXPECT_EQ(grid.CellText(1, 0), "upraveno");
  EXPECT_EQ(grid.CellText(2, 0), "b");
  table->CancelRecord();

  table->CloseTable();
  EXPECT_EQ(grid.RowCount(), 0);
  EXPECT_EQ(grid.CurrentRow(), -1);
  EXPECT_EQ(grid.CellText(0, 0), "");
}

TEST(GridLink, AnUnchangedNewRecordIsAbandonedByUpAndDownAsTheRulesSay) {
  NameGrid names({"a", "b", "c"});
  auto& [table, source, grid] = names;

  // In the middle: Down abandons the insert instead of moving; Up abandons it and moves back.
  table->Next();
  table->InsertRecord();
  grid.StepForward();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecNo(), 2);
  table->InsertRecord();
  grid.StepBack();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecNo(), 1);
  EXPECT_EQ(table->RecordCount(), 3);

  // At the end of the data: Down leaves the insert alone, Up abandons it.
  table->Last();
  table->Next();
  ASSERT_TRUE(table->Eof());
  table->InsertRecord();
  grid.StepForward();
  EXPECT_EQ(table->State(), dsInsert);
  grid.StepBack();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecNo(), 3);

  // A changed new record is posted by the move like any edit.
  table->First();
  table->InsertRecord();
  table->FieldByName("Nazev")->SetAsString(Cp("změněno"));
  grid.StepForward();
  EXPECT_EQ(table->RecordCount(), 4);
  EXPECT_EQ(Names(*table)[0], Cp("změněno"));

  // Down at the last row never adds a record.
  table->Last();
  grid.StepForward();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecordCount(), 4);
}

TEST(GridLink, MovesEscCancelOnExitAndDelete) {
  NameGrid names({"a", "b", "c", "d", "e"});
  auto& [table, source, grid] = names;
  FakeEdit name(&source, "Nazev");

  grid.MoveToLast();
  EXPECT_EQ(grid.CurrentRow(), 4);
  grid.MoveRows(-3);
  EXPECT_EQ(grid.CurrentRow(), 1);
  grid.MoveToRow(3);
  EXPECT_EQ(grid.CurrentRow(), 3);
  grid.MoveToRow(7);  // not a row: nothing
  EXPECT_EQ(grid.CurrentRow(), 3);
  grid.MoveToFirst();
  EXPECT_EQ(grid.CurrentRow(), 0);

  // Esc in the grid abandons changes already written into the fields.
  ASSERT_TRUE(name.Type(Cp("zrušit")));
  name.link.UpdateRecord();
  EXPECT_EQ(table->FieldByName("Nazev")->AsString(), Cp("zrušit"));
  grid.CancelEdit();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(name.pending, "a");
  EXPECT_EQ(Names(*table)[0], "a");

  // Leaving the grid abandons an unchanged insert, but keeps a changed one.
  table->InsertRecord();
  grid.CancelOnExit();
  EXPECT_EQ(table->State(), dsBrowse);
  table->InsertRecord();
  table->FieldByName("Nazev")->SetAsString("ponechat");
  grid.CancelOnExit();
  EXPECT_EQ(table->State(), dsInsert);
  table->PostRecord();

  // Delete: the following record becomes current; a read-only grid or an empty table cannot.
  table->First();
  EXPECT_TRUE(grid.CanDelete());
  grid.DeleteCurrent();
  EXPECT_EQ(Names(*table)[0], "a");
  grid.SetReadOnly(true);
  EXPECT_FALSE(grid.CanDelete());
  grid.SetReadOnly(false);
  while (!table->IsEmpty()) grid.DeleteCurrent();
  EXPECT_FALSE(grid.CanDelete());
  EXPECT_EQ(grid.RowCount(), 0);
}

}  // namespace
}  // namespace kdx
