#pragma once
// TMemTable: an in-memory table of fixed-width records, with a set of indexes, one cursor and
// an edit state (inactive, browse, edit, insert). Records live from OpenTable to CloseTable;
// SaveToTableFile / LoadFromTableFile (TableFileWriter.cpp, TableFileReader.cpp; the format is
// described in TableFileFormat.h) keep them in comma-separated text files.
//
// Declare the fields (AddStringField, AddBooleanField) and the index definitions (IndexDefs)
// while the table is closed, then OpenTable. Every table also has the built-in row order index
// "__MT__ROWORDER": the records in the order in which they were placed, never sorted.
//
// Failures are exceptions: EMemTableError for the table's own, EDatabaseError for the dataset
// rules (states, fields), stream errors for files. A failing PostRecord leaves the record in
// edit or insert state with its buffer intact; a failing FindRecord leaves the cursor.
//
// Bound controls listen through TBindingListener (Binding.h). Not thread-safe beyond the store
// lock: the tables belong to the user-interface thread.

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kdx/memtable/Binding.h"
#include "kdx/memtable/Errors.h"
#include "kdx/memtable/Field.h"
#include "kdx/memtable/Sets.h"
#include "kdx/memtable/Variant.h"

namespace kdx {

class TMemTableCommon;
class TMemIndexes;
class TMemIndex;
class TMemRecord;
class TByteSource;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// Save flags; the ordinal is the bit number in TMemTableSaveFlags.
enum TMemTableSaveFlag {
  mtfSaveData,                // data fields get a value column
  mtfSaveCalculated,          // calculated fields get a value column
  mtfSaveLookup,              // lookup fields get a value column
  mtfSaveNonVisible,          // invisible fields get a value column
  mtfSaveBlobs,               // large-object fields get a value column
  mtfSaveDef,                 // write the definition section
  mtfSaveIndexDef,            // ... with the index definitions
  mtfSkipRest,                // fields without a value column get no column at all
  mtfSaveFiltered,            // (no filters here)
  mtfSaveInLocalFormat,       // (no numeric or date fields here)
  mtfSaveIgnoreRange,         // (no ranges here)
  mtfSaveIgnoreMasterDetail,  // (no detail links here)
  mtfSaveDeltas,              // impossible in the text format: the save fails
  mtfSaveDontFilterDeltas,    // no effect
  mtfSaveAppend,              // add to the end of an existing file
  mtfSaveFieldKind,           // field definitions carry the field's kind name
  mtfSaveNoHeader,            // no header line
};
using TMemTableSaveFlags = TSet<TMemTableSaveFlag>;

enum TIndexOption { ixUnique, ixDescending, ixCaseInsensitive, ixNonMaintained };
using TIndexOptions = TSet<TIndexOption>;

enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

// One declared index: its name, its key fields (names separated by ';') and options.
struct TIndexDef {
  std::string Name;
  std::string Fields;
  TIndexOptions Options;
  std::string DisplayName() const { return Name; }
};

class TIndexDefs {
 public:
  TIndexDef& Add(std::string name, std::string fields, TIndexOptions options = {}) {
    items_.push_back(TIndexDef{std::move(name), std::move(fields), options});
    return items_.back();
  }
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  const TIndexDef& operator[](int i) const { return items_[i]; }
  TIndexDef& operator[](int i) { return items_[i]; }

 private:
  std::vector<TIndexDef> items_;
};

// The characters and words of the table file format.
struct TCsvFormat {
  char Quote = '"';
  char FieldDelimiter = ',';
  char RecordDelimiter = ',';  // '\0': no record delimiter
  std::string TrueString = "True";
  std::string FalseString = "False";
};

class TMemTable {
 public:
  static constexpr const char* kRowOrderIndexName = "__MT__ROWORDER";
  static constexpr unsigned kDefaultLocaleID = 1024;  // the user's default locale
  static constexpr int kMaxStringSize = 8192;         // largest Size of a string field
  // What a definition section of a table file may declare for a table whose definitions are not
  // fixed: this many fields, and string sizes adding up to this many bytes.
  static constexpr int kMaxLoadedFields = 256;
  static constexpr int kMaxLoadedRecordBytes = 65536;

  explicit TMemTable(std::string name = {});
  TMemTable(const TMemTable&) = delete;
  TMemTable& operator=(const TMemTable&) = delete;
  // Tells the attached listeners (TableDestroying), then frees records and fields.
  ~TMemTable();

  const std::string& Name() const { return name_; }

  // --- definition (only while closed; EDatabaseError "Cannot perform this operation on an
  // open dataset" otherwise) ----------------------------------------------------------------
  TStringField* AddStringField(const std::string& fieldName, int size);
  TBooleanField* AddBooleanField(const std::string& fieldName);
  void ClearFields();
  TIndexDefs& IndexDefs() { return indexDefs_; }
  const TIndexDefs& IndexDefs() const { return indexDefs_; }
  unsigned LocaleID() const { return localeId_; }
  void SetLocaleID(unsigned localeId) { localeId_ = localeId; }
  const TCsvFormat& CsvFormat() const { return csv_; }
  // Fixed definitions: the table's fields and index definitions are its own, and a definition
  // section in a table file must declare exactly them (the same fields in the same order, with
  // the same types, sizes, display labels and flags, and, where it lists index definitions, the
  // same ones); otherwise the load is refused before any record is read, the table keeping its
  // definitions: "Table file %s does not match table %s: ...". Off by default, where a
  // definition section replaces the table's definitions within the bounds above.
  bool FixedDefinitions() const { return fixedDefinitions_; }
  void SetFixedDefinitions(bool fixed) { fixedDefinitions_ = fixed; }

  // --- fields ------------------------------------------------------------------------------
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int index) const { return fields_[index].get(); }
  // The field whose name equals `fieldName` ignoring case, or nullptr.
  TField* FindField(const std::string& fieldName) const;
  // As FindField; fails with "Field '%s' not found".
  TField* FieldByName(const std::string& fieldName) const;

  // --- state -------------------------------------------------------------------------------
  // inactive -> browse: lays out the records, builds the indexes from IndexDefs ("Missing Name
  // or FieldNames in IndexDef!", "Can't index on field %s"), selects IndexFieldNames or
  // IndexName. No effect when already open.
  void OpenTable();
  // Abandons an edit or insert, frees every record and index; no effect when already closed.
  void CloseTable();
  bool Active() const { return state_ != dsInactive; }
  TDataSetState State() const { return state_; }
  // The record buffer was changed since the edit or insert began.
  bool Modified() const { return modified_; }
  // The memory tables can always be modified (while open).
  bool CanModify() const { return Active(); }

  // --- records -----------------------------------------------------------------------------
  // Settles, then starts a new record (all fields null) that PostRecord places before the
  // current record in the row order.
  void InsertRecord();
  // As InsertRecord, but the new record goes to the end of the row order.
  void AppendRecord();
  // browse -> edit on the current record; on an empty table as InsertRecord.
  void EditRecord();
  // edit/insert -> browse, storing the buffer (FlushEdits first); "Dataset not in edit or insert
  // mode" in browse state; "Duplicate index value. Operation aborted." for a unique index.
  void PostRecord();
  // edit/insert -> browse, dropping the buffer; nothing in browse state.
  void CancelRecord();
  // Removes the current record (in insert state: CancelRecord); the following record becomes
  // current, or the new last one. "Cannot perform this operation on an empty dataset".
  void DeleteRecord();
  // In edit/insert state: FlushEdits, then PostRecord when Modified(), else CancelRecord.
  void SettleRecord();

  // --- cursor (each move settles first) ----------------------------------------------------
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves by `distance` records within the current index, stopping at either end; returns the
  // distance actually moved. Moving past the end sets Eof, before the start Bof.
  int MoveBy(int distance);
  // Records in the current index; "Cannot perform this operation on a closed dataset".
  int RecordCount() const;
  // True when the current index holds no record (also when closed).
  bool IsEmpty() const;
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  // Position of the current record in the current index, 1-based; -1 without one.
  int RecNo() const;

  // Reads a stored record other than the current one, by its 1-based position in the current
  // index (1..RecordCount()), without moving the cursor. The record being inserted is not among
  // them; a record being edited shows its stored values.
  std::string DisplayTextAt(int recNo, const TField& field) const;
  bool IsNullAt(int recNo, const TField& field) const;

  // --- indexes and search ------------------------------------------------------------------
  const std::string& IndexName() const { return indexName_; }
  // Closed: only remembered. Open: "" selects the row order; otherwise the first index whose
  // name equals `name` ignoring ASCII case; an unknown name is ignored.
  void SetIndexName(const std::string& name);
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  // Closed: only remembered. Open: selects the first index whose field names equal `fields`
  // ignoring case ("" selects the row order); no such index is ignored.
  void SetIndexFieldNames(const std::string& fields);
  // Names of the open table's indexes, the row order first.
  std::vector<std::string> IndexNames() const;

  // Moves to the first record (in the current index's order) whose fields `fieldNames`
  // (separated by ';') equal `values` (one value, or a one-dimensional array for several
  // fields) and returns true; returns false and leaves the cursor when none does.
  // loCaseInsensitive ignores letter case; loPartialKey matches stored values that begin with
  // the key. Fails with "There must be at least one field", "More fields than values",
  // "Values variant array has invalid dimension count", "Field '%s' not found".
  bool FindRecord(const std::string& fieldNames, const TVariant& values,
                  TLocateOptions options = {});

  // --- table files (TableFileWriter.cpp, TableFileReader.cpp) ---------------------------------
  // Writes the table (records in the current index's order) to `fileName`, a native path in
  // UTF-8 (as everywhere in the program; see kdx/platform/Files.h).
  // The old file is replaced only once the new one is completely written and flushed; a
  // failure leaves it whole. Raises "Cannot create file %s", "Stream write error",
  // "Saving deltas is supported only in binary format." (before any file is touched).
  void SaveToTableFile(const std::string& fileName,
                       TMemTableSaveFlags flags = TMemTableSaveFlags{mtfSaveData});
  // Adds the records of `fileName` to the open table. "Cannot open file %s",
  // "Stream read error", "Unknown field type (%s) in CSV file. (%s)", "Invalid field size (%s)
  // in CSV file. (%s)", "Too many fields in CSV file. (%s)", "Field sizes exceed the record
  // size in CSV file. (%s)", with fixed definitions "Table file %s does not match table %s: ...".
  // Records read before a failure stay; indexes, cursor and listeners are restored in every case.
  void LoadFromTableFile(const std::string& fileName);
  // The same two on memory: the file's bytes.
  std::string SaveToTableText(TMemTableSaveFlags flags = TMemTableSaveFlags{mtfSaveData});
  void LoadFromTableText(const std::string& bytes);

  // --- listeners ---------------------------------------------------------------------------
  void AttachListener(TBindingListener* listener);
  void DetachListener(TBindingListener* listener);
  // Nested: events are delivered again when every DisableControls has its EnableControls.
  void DisableControls();
  void EnableControls();

  // Bytes of one stored record (its fields' slots), as laid out when the fields were declared.
  std::size_t RecordSize() const { return recordSize_; }

 private:
  friend class TField;
  friend class TMemIndex;
  friend class TTableFileReader;
  friend class TTableFileWriter;
  friend class TMemTableTestPeer;  // the tests' way to the record store (MemTableTestSupport.h)

  // The store's lock (see MemTableCommon.h), which every operation holds.
  std::recursive_mutex& StoreLock() const;

  void CheckInactive() const;
  void CheckActive() const;
  void LayoutRecords();
  void CreateIndexes();
  void BeginNewRecord(bool append);
  // AppendRecord and PostRecord for the records of a load (TableFileReader.cpp).
  void AppendLoadedRecord();
  void PostLoadedRecord();
  void SelectIndex(TMemIndex* index);
  // SetIndexName (`byFields` false) and SetIndexFieldNames (true).
  void ChooseIndex(const std::string& key, bool byFields);
  TMemIndex* FindIndexByName(const std::string& name) const;
  TMemIndex* FindIndexByFields(const std::string& fields) const;
  TMemRecord* CurrentRecord() const;
  const unsigned char* ActiveData() const;
  void SetCursorTo(TMemRecord* record);
  void SetState(TDataSetState state);
  void Notify(BindingEvent event, TField* field = nullptr, int distance = 0);
  void SetIndexMaintenance(bool on);
  void RebuildIndexes();
  void ClearFieldsUnchecked();
  std::string BuildTableText(TMemTableSaveFlags flags);
  // `sourceName` names the file in messages.
  void LoadFromSource(TByteSource& source, const std::string& sourceName);

  std::string name_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::size_t recordSize_ = 0;
  TIndexDefs indexDefs_;
  unsigned localeId_ = kDefaultLocaleID;
  TCsvFormat csv_;
  bool fixedDefinitions_ = false;

  std::unique_ptr<TMemTableCommon> common_;
  std::unique_ptr<TMemIndexes> indexes_;
  TMemIndex* current_ = nullptr;
  std::string indexName_;
  std::string indexFieldNames_;
  bool indexMaintenance_ = true;

  TDataSetState state_ = dsInactive;
  int cursor_ = -1;  // position in the current index; -1 when it is empty
  bool bof_ = true;
  bool eof_ = true;

  std::vector<unsigned char> buffer_;  // the record buffer in edit and insert state
  bool modified_ = false;
  bool appending_ = false;
  int insertRecNo_ = -1;  // the current record number when the insert began
  TMemRecord* editRecord_ = nullptr;

  std::vector<TBindingListener*> listeners_;
  int disableCount_ = 0;
  TDataSetState stateAtDisable_ = dsInactive;
  bool layoutChanged_ = false;  // the field list changed while controls were disabled
};

}  // namespace kdx
