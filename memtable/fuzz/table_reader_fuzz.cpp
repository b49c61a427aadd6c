// Fuzzes LoadFromTableText with arbitrary bytes, the way the program loads: into the import
// table (with IDX_KDXFile, and once more with a unique, case-blind index over KDXFile beside it),
// with controls bound to its fields through a data source. Besides the sanitizers' findings
// (a control reading a field a load freed, a null current record) it checks:
// - the load's work: the records it examines grow like n log n, so an input that makes the load
//   quadratic fails however small it is;
// - the table after the load, failed or not: open and whole (every index holds every record and,
//   unless it is empty, a record is current), and it can be edited, deleted from, closed, opened
//   and loaded again;
// - whatever a load produced, saving it with its definitions and loading that into an
//   undeclared table gives a table that saves to the very same bytes;
// - FindRecord over a case-sensitive index of two fields, with and without regard to case,
//   finds what a walk over the index finds.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../src/MemIndex.h"
#include "kdx/binding/DataLink.h"
#include "kdx/binding/DataSource.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// Columns are matched by display name ignoring ASCII case; with two alike the round trip is
// ambiguous by design.
bool DisplayNamesDistinct(const kdx::TMemTable& t) {
  std::set<std::string> names;
  for (int i = 0; i < t.FieldCount(); ++i)
    if (!names.insert(kdx::text::AsciiUpperCase(t.Fields(i)->DisplayName())).second) return false;
  return true;
}

// The reader takes a header line whose first value is a section marker for that marker, so a
// table whose first column is displayed under a marker's name cannot come back as it was.
bool HeaderReadsAsHeader(const kdx::TMemTable& t) {
  if (t.FieldCount() == 0) return true;
  const std::string first = t.Fields(0)->DisplayName();
  for (const char* marker : {"@@FILE VERSION@@", "@@TABLEDEF START@@", "@@TABLEDEF END@@",
                             "@@INDEXDEF START@@", "@@INDEXDEF END@@"})
    if (first == marker) return false;
  return true;
}

// Runs `f`; a kdx::Exception (a rejected definition, a control whose field is gone, a duplicate
// key) is an answer, not a finding. Returns whether one was raised.
template <typename F>
bool Raises(F f) {
  try {
    f();
  } catch (const kdx::Exception&) {
    return true;
  }
  return false;
}

// A bound control: shows its field's value on every refresh.
struct Control {
  Control(kdx::TDataSource* source, const std::string& field) {
    link.OnDataChange = [this] {
      shown = link.Field() ? link.Field()->DisplayText() + (link.Field()->IsNull() ? "" : "!")
                           : std::string();
    };
    link.SetDataSource(source);
    Raises([&] { link.SetFieldName(field); });
  }
  kdx::TFieldDataLink link;
  std::string shown;
};

// Open, every index holding every record, a current record unless empty.
void CheckWhole(kdx::TMemTable& t) {
  if (!t.Active()) Fail("the table is not open");
  const std::string current = t.IndexName();
  const int count = t.RecordCount();
  if (count > 0 && t.RecNo() < 1) Fail("records but no current record");
  for (const std::string& name : t.IndexNames()) {
    if (Raises([&] { t.SetIndexName(name == kdx::TMemTable::kRowOrderIndexName ? "" : name); }))
      Fail("selecting an index failed");
    if (t.RecordCount() != count) Fail("an index does not hold every record");
    if (count > 0 && t.RecNo() < 1) Fail("no current record after selecting an index");
  }
  Raises([&] { t.SetIndexName(current); });
}

double WorkBound(int records) {
  const double n = records + 2;
  return 8 * n * (std::log2(n) + 1);
}

void RoundTrip(kdx::TMemTable& table, bool loadFailed) {
  if (!DisplayNamesDistinct(table) || !HeaderReadsAsHeader(table)) return;
  const kdx::TMemTableSaveFlags flags{kdx::mtfSaveData, kdx::mtfSaveNonVisible, kdx::mtfSaveDef,
                                      kdx::mtfSaveIndexDef};
  const std::string first = table.SaveToTableText(flags);
  kdx::TMemTable copy("Copy");
  copy.OpenTable();
  // A unique index that the failed load left with duplicates fails the copy's load the same way
  // (after the copy holds every record); a table loaded cleanly must load cleanly.
  if (Raises([&] { copy.LoadFromTableText(first); }) && !loadFailed)
    Fail("a saved table does not load again");
  const std::string second = copy.SaveToTableText(flags);
  if (first != second) {
    std::fprintf(stderr, "round trip differs:\n--- first\n%s\n--- second\n%s\n", first.c_str(),
                 second.c_str());
    std::abort();
  }
}

void LoadInto(const std::string& bytes, bool uniqueIndex, bool fixedDefinitions = false) {
  auto table = kdx::CreateImportTable();
  table->SetFixedDefinitions(fixedDefinitions);
  if (uniqueIndex)
    table->IndexDefs().Add("IDX_Unique", "KDXFile", {kdx::ixUnique, kdx::ixCaseInsensitive});
  table->OpenTable();
  kdx::TDataSource source(table.get());
  std::vector<std::unique_ptr<Control>> controls;
  for (const char* field : {"Nazev", "KDXFile", "SavePath", "InfoText", "EndText"})
    controls.push_back(std::make_unique<Control>(&source, field));
  kdx::TGridDataLink grid;
  grid.SetDataSource(&source);
  grid.SetColumns({"Nazev", "KDXFile"});

  const std::uint64_t before = kdx::RecordsExamined();
  const bool failed = Raises([&] { table->LoadFromTableText(bytes); });
  const std::uint64_t work = kdx::RecordsExamined() - before;
  CheckWhole(*table);
  if (static_cast<double>(work) > WorkBound(table->RecordCount())) {
    std::fprintf(stderr, "%llu records examined for %d records\n",
                 static_cast<unsigned long long>(work), table->RecordCount());
    Fail("the load does more than n log n work");
  }
  for (int r = 0; r < grid.RowCount(); ++r)
    for (int c = 0; c < grid.ColumnCount(); ++c) grid.CellText(r, c);

  RoundTrip(*table, failed);

  // What the program does next: edit and post, delete, close and open, load again.
  if (table->RecordCount() > 0) {
    Raises([&] {
      table->EditRecord();
      table->PostRecord();
    });
    Raises([&] { table->CancelRecord(); });
    const int count = table->RecordCount();
    Raises([&] { table->DeleteRecord(); });
    if (table->RecordCount() != count - 1) Fail("a delete did not delete");
    CheckWhole(*table);
  }
  table->CloseTable();
  Raises([&] { table->OpenTable(); });  // a control may name a field the file dropped
  if (!table->Active()) Fail("the table does not open again");
  Raises([&] { table->LoadFromTableText(bytes); });
  CheckWhole(*table);
}

// Whether row `r` holds `values` (null or text) in `fields` by the given rule.
bool RowEquals(kdx::TMemTable& t, int r, const std::vector<kdx::TField*>& fields,
               const std::vector<kdx::TVariant>& values, bool ignoreCase) {
  for (std::size_t f = 0; f < fields.size(); ++f) {
    const bool null = t.IsNullAt(r, *fields[f]);
    if (null != values[f].IsNull()) return false;
    if (!null && kdx::text::CompareText(t.DisplayTextAt(r, *fields[f]), values[f].Text(),
                                        ignoreCase, t.LocaleID()) != 0)
      return false;
  }
  return true;
}

// Loads into the import table with a case-sensitive index over Nazev and KDXFile selected and
// searches the values of the first records, as they stand and in upper case, with and without
// regard to case: FindRecord lands on the first record of the index that a walk calls equal.
void LoadAndFind(const std::string& bytes) {
  auto table = kdx::CreateImportTable();
  table->IndexDefs().Add("IDX_Pair", "Nazev;KDXFile", {});
  table->OpenTable();
  Raises([&] { table->LoadFromTableText(bytes); });
  if (Raises([&] { table->SetIndexName("IDX_Pair"); })) return;  // a section dropped it
  std::vector<kdx::TField*> fields;
  for (const char* name : {"Nazev", "KDXFile"}) {
    kdx::TField* field = table->FindField(name);
    if (!field || field->DataType() != kdx::TFieldType::String) return;
    fields.push_back(field);
  }
  const int count = table->RecordCount();
  for (int probe = 1; probe <= count && probe <= 6; ++probe) {
    for (bool upper : {false, true}) {
      std::vector<kdx::TVariant> values;
      for (kdx::TField* field : fields) {
        if (table->IsNullAt(probe, *field)) {
          values.emplace_back();
        } else {
          const std::string text = table->DisplayTextAt(probe, *field);
          values.emplace_back(upper ? kdx::text::AnsiUpperCase(text) : text);
        }
      }
      for (bool ignoreCase : {false, true}) {
        int expected = 0;
        for (int r = 1; r <= count && !expected; ++r)
          if (RowEquals(*table, r, fields, values, ignoreCase)) expected = r;
        kdx::TLocateOptions options;
        if (ignoreCase) options.Include(kdx::loCaseInsensitive);
        bool found = false;
        if (Raises([&] {
              found = table->FindRecord("Nazev;KDXFile", kdx::TVariant::Array(values), options);
            }))
          Fail("FindRecord failed on stored values");
        if (found != (expected != 0)) Fail("FindRecord and a walk disagree on a match");
        if (found && table->RecNo() != expected) Fail("FindRecord found another record");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  LoadInto(bytes, false);
  LoadInto(bytes, true);
  LoadInto(bytes, false, true);  // as the program's own table, whose definitions are fixed
  LoadAndFind(bytes);
  return 0;
}
