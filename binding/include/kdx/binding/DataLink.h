#pragma once
// Data links: the listener that every bound control owns. A link is attached to at most one
// TDataSource and follows its table:
//   - active: the table is open (as the data source sees it);
//   - editing: the table is in the edit or insert state and the link is not read-only;
//   - updating: set while the link writes its control's text into the table, so that the
//     notifications caused by that write are not echoed back into the control.
//
// TFieldDataLink binds one control to one field by name; TGridDataLink binds a list of records
// (a grid) to the table. Neither knows any toolkit: the control supplies callbacks, and the
// grid's movement rules live here so that every grid behaves the same.
//
// Ownership: the control owns its link; destroying a link detaches it from its data source. A
// link whose data source is destroyed is left unbound (DataSource() == nullptr, inactive).

#include <functional>
#include <string>
#include <vector>

#include "kdx/memtable/Binding.h"
#include "kdx/memtable/MemTable.h"

namespace kdx {

class TDataSource;

class TDataLink {
 public:
  TDataLink() = default;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;
  virtual ~TDataLink();

  TDataSource* DataSource() const { return dataSource_; }
  // Detaches from the old source, attaches to the new one (nullptr unbinds).
  void SetDataSource(TDataSource* dataSource);
  // The data source's table, or nullptr.
  TMemTable* DataSet() const;

  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  // Visual links (controls) are told after the non-visual ones.
  bool VisualControl() const { return visualControl_; }
  void SetVisualControl(bool visual) { visualControl_ = visual; }
  bool Updating() const { return updating_; }

  // Begin editing: unless read-only, asks the data source to edit (EditRecord when AutoEdit
  // and the table browses). Returns the editing flag afterwards. Table errors propagate.
  virtual bool Edit();

  // Writes what the control holds into the table (UpdateData with the updating flag set).
  void UpdateRecord();

  // Called by the data source.
  void DataEvent(BindingEvent event, TField* field, int distance);

 protected:
  virtual void ActiveChanged() {}
  virtual void EditingChanged() {}
  // `field` is the field that changed, or nullptr when the whole record did.
  virtual void RecordChanged(TField* field) {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int distance) { DataSetChanged(); }
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void FocusControl(TField* field) {}
  // Writes pending control text into the fields.
  virtual void UpdateData() {}
  // On every state notification, before the active and editing flags follow `state`.
  virtual void StateChanged(TDataSetState state) {}

  // Recomputes the active and editing flags from the data source's state.
  void UpdateState();

 private:
  friend class TDataSource;
  void SetActive(bool active);
  void SetEditing(bool editing);
  // The data source is being destroyed: forget it and go inactive.
  void SourceDestroyed();

  TDataSource* dataSource_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool visualControl_ = false;
  bool updating_ = false;
};

// Binds one control to one field. The control supplies the callbacks:
//   OnDataChange   - show the field's value again (also when the field or binding changes);
//   OnEditingChange- the editing flag changed (an edit box becomes writable or read-only);
//   OnUpdateData   - write the control's text into Field() (only called when modified);
//   OnActiveChange - the table opened or closed;
//   OnFocusRequest - the table asks for this field's control (return without effect when the
//                    control cannot take the focus).
class TFieldDataLink : public TDataLink {
 public:
  TFieldDataLink();

  const std::string& FieldName() const { return fieldName_; }
  // Re-resolves the field ("Field '%s' not found" when the open table has no such field; the
  // link is then left without a field). The old field is let go first, whatever happens.
  void SetFieldName(const std::string& fieldName);
  // The resolved field; nullptr while inactive or without a field name.
  TField* Field() const { return field_; }

  // Not read-only, a field is bound and the field can be modified.
  bool CanModify() const;
  // Editing as the control sees it: the table edits, the link is not read-only and CanModify.
  bool Editing() const { return fieldEditing_; }
  // The control holds text that differs from the field and has not been written yet.
  bool IsModified() const { return modified_; }

  // Begin editing: when CanModify, asks the data source to edit; returns Editing().
  bool Edit() override;
  // Mark modified.
  void Modified() { modified_ = true; }
  // Shows the field's value again and forgets the pending text.
  void Reset();

  std::function<void()> OnDataChange;
  std::function<void()> OnEditingChange;
  std::function<void()> OnUpdateData;
  std::function<void()> OnActiveChange;
  std::function<void()> OnFocusRequest;

 protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void RecordChanged(TField* field) override;
  void LayoutChanged() override;
  void FocusControl(TField* field) override;
  void UpdateData() override;

 private:
  void UpdateField();
  void SetField(TField* field);
  void UpdateFieldEditing();

  std::string fieldName_;
  TField* field_ = nullptr;
  bool fieldEditing_ = false;
  bool modified_ = false;
};

// Binds a grid to the table: one column per field name, one row per record of the current
// index, plus the row of a record being inserted. The grid asks for rows and cell texts and
// calls the movement operations below for its keys and mouse clicks; every move goes through
// the table and therefore settles a pending edit first.
class TGridDataLink : public TDataLink {
 public:
  TGridDataLink();

  // Column fields by name; resolved while active ("Field '%s' not found" for an unknown name).
  void SetColumns(std::vector<std::string> fieldNames);
  int ColumnCount() const { return static_cast<int>(columnNames_.size()); }
  const std::string& ColumnName(int column) const { return columnNames_[column]; }
  // nullptr while inactive.
  TField* ColumnField(int column) const;

  // Rows the grid shows (0 while inactive), the 0-based row of the current record (-1 when
  // none), and a cell's display text (cp1250).
  int RowCount() const;
  int CurrentRow() const;
  std::string CellText(int row, int column) const;
  // The row that holds the record being inserted, or -1 outside the insert state. The table's
  // AppendRecord is not followed here (nothing appends): its record shows at the cursor too.
  int InsertRow() const;

  // Number of data rows the grid has room for (page moves); at least 1.
  int BufferCount() const { return bufferCount_; }
  void SetBufferCount(int rows) { bufferCount_ = rows < 1 ? 1 : rows; }

  // The grid never edits in place, so nothing is ever pending in it.
  bool IsModified() const { return false; }

  // True when the table is inserting a record that nobody changed.
  bool UnchangedInsert() const;

  // --- moves (no effect while inactive) ------------------------------------------------------
  // Up/Left: abandons an unchanged insert standing at the end of the data, otherwise one back.
  void StepBack();
  // Down/Right: an unchanged insert is abandoned (or, at the end of the data, left alone);
  // otherwise one record forward. Never starts a new record.
  void StepForward();
  void MoveToFirst();
  void MoveToLast();
  // Moves by `rows` records (Page Up/Down, mouse clicks on another row).
  void MoveRows(int rows);
  // Makes `row` current (a click on a data row; the title row is not a row here).
  void MoveToRow(int row);
  // Esc: abandons the pending edit or insert of the current record.
  void CancelEdit();
  // The focus leaves the grid with dgCancelOnExit: abandons an unchanged insert.
  void CancelOnExit();
  // Ctrl+Delete may delete: not read-only, table not empty and modifiable.
  bool CanDelete() const;
  // Deletes the current record (the caller asked first).
  void DeleteCurrent();

  std::function<void()> OnActiveChange;
  std::function<void()> OnDataSetChanged;
  std::function<void(int)> OnScrolled;
  std::function<void()> OnEditingChange;
  std::function<void(TField*)> OnRecordChanged;
  std::function<void()> OnLayoutChange;

 protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void RecordChanged(TField* field) override;
  void DataSetChanged() override;
  void DataSetScrolled(int distance) override;
  void LayoutChanged() override;

 private:
  void ResolveColumns();
  // Resolves the columns, then calls `callback` even when a name is unknown (then fails).
  void ResolveColumnsThen(const std::function<void()>& callback);

  std::vector<std::string> columnNames_;
  std::vector<TField*> columns_;
  int bufferCount_ = 1;
};

}  // namespace kdx
