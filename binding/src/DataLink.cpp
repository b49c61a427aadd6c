#include "kdx/binding/DataLink.h"

#include <exception>

#include "kdx/binding/DataSource.h"

namespace kdx {

// ---------------------------------------------------------------------------------------------
// TDataLink

TDataLink::~TDataLink() {
  if (dataSource_) dataSource_->RemoveLink(this);
}

void TDataLink::SetDataSource(TDataSource* dataSource) {
  if (dataSource == dataSource_) return;
  if (dataSource_) dataSource_->RemoveLink(this);
  dataSource_ = dataSource;
  if (dataSource_) dataSource_->AddLink(this);
  UpdateState();
}

TMemTable* TDataLink::DataSet() const {
  return dataSource_ ? dataSource_->DataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool readOnly) {
  if (readOnly == readOnly_) return;
  readOnly_ = readOnly;
  UpdateState();
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(updating_);
  UpdateData();
}

void TDataLink::DataEvent(BindingEvent event, TField* field, int distance) {
  if (event == BindingEvent::StateChange) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case BindingEvent::FieldValue:
    case BindingEvent::RecordContents:
      // The link that is writing the field does not take its own change back.
      if (!updating_) RecordChanged(event == BindingEvent::FieldValue ? field : nullptr);
      break;
    case BindingEvent::WholeData:
      DataSetChanged();
      break;
    case BindingEvent::CursorMove:
      DataSetScrolled(distance);
      break;
    case BindingEvent::FieldLayout:
      LayoutChanged();
      break;
    case BindingEvent::FlushEdits:
      UpdateRecord();
      break;
    case BindingEvent::SettleCheck:
      break;
    case BindingEvent::FocusField:
      FocusControl(field);
      break;
    case BindingEvent::StateChange:
      break;
  }
}

void TDataLink::UpdateState() {
  const TDataSetState state = dataSource_ ? dataSource_->State() : dsInactive;
  StateChanged(state);
  SetActive(state != dsInactive);
  SetEditing((state == dsEdit || state == dsInsert) && !readOnly_);
}

void TDataLink::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  ActiveChanged();
}

void TDataLink::SetEditing(bool editing) {
  if (editing == editing_) return;
  editing_ = editing;
  EditingChanged();
}

void TDataLink::SourceDestroyed() {
  dataSource_ = nullptr;
  UpdateState();
}

// ---------------------------------------------------------------------------------------------
// TFieldDataLink

TFieldDataLink::TFieldDataLink() {
  SetVisualControl(true);
}

void TFieldDataLink::SetFieldName(const std::string& fieldName) {
  if (fieldName == fieldName_) return;
  fieldName_ = fieldName;
  UpdateField();
}

bool TFieldDataLink::CanModify() const {
  return !ReadOnly() && field_ != nullptr && field_->CanModify();
}

bool TFieldDataLink::Edit() {
  if (CanModify()) TDataLink::Edit();
  return fieldEditing_;
}

void TFieldDataLink::Reset() {
  RecordChanged(nullptr);
}

void TFieldDataLink::ActiveChanged() {
  // The control hears of the change also when its field name is unknown (it then shows nothing).
  std::exception_ptr failure;
  try {
    UpdateField();
  } catch (...) {
    failure = std::current_exception();
  }
  if (OnActiveChange) OnActiveChange();
  if (failure) std::rethrow_exception(failure);
}

void TFieldDataLink::EditingChanged() {
  UpdateFieldEditing();
}

void TFieldDataLink::RecordChanged(TField* field) {
  if (field != nullptr && field != field_) return;
  if (OnDataChange) OnDataChange();
  modified_ = false;
}

void TFieldDataLink::LayoutChanged() {
  UpdateField();
}

void TFieldDataLink::FocusControl(TField* field) {
  if (field != nullptr && field == field_ && OnFocusRequest) OnFocusRequest();
}

void TFieldDataLink::UpdateData() {
  if (!modified_) return;
  if (field_ && OnUpdateData) OnUpdateData();
  modified_ = false;
}

void TFieldDataLink::UpdateField() {
  // The old field may be gone already (a load replaced the table's fields): let go of it before
  // looking the name up, so that neither a failed lookup nor the control's refresh reaches it.
  SetField(nullptr);
  TMemTable* table = DataSet();
  if (!Active() || !table || fieldName_.empty()) return;
  TField* field = table->FindField(fieldName_);
  if (!field) throw EDatabaseError(FormatMessage("Field '%s' not found", fieldName_));
  SetField(field);
}

void TFieldDataLink::SetField(TField* field) {
  if (field == field_) return;
  field_ = field;
  UpdateFieldEditing();
  RecordChanged(nullptr);
}

void TFieldDataLink::UpdateFieldEditing() {
  const bool editing = TDataLink::Editing() && CanModify();
  if (editing == fieldEditing_) return;
  fieldEditing_ = editing;
  modified_ = false;
  if (OnEditingChange) OnEditingChange();
}

// ---------------------------------------------------------------------------------------------
// TGridDataLink

TGridDataLink::TGridDataLink() {
  SetVisualControl(true);
}

void TGridDataLink::SetColumns(std::vector<std::string> fieldNames) {
  columnNames_ = std::move(fieldNames);
  ResolveColumnsThen(OnLayoutChange);
}

TField* TGridDataLink::ColumnField(int column) const {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return nullptr;
  return columns_[column];
}

void TGridDataLink::ResolveColumns() {
  columns_.clear();
  TMemTable* table = DataSet();
  if (!Active() || !table) return;
  // A name the table does not know leaves its column empty; the others are still resolved.
  const std::string* missing = nullptr;
  for (const std::string& name : columnNames_) {
    TField* field = table->FindField(name);
    if (!field && !missing) missing = &name;
    columns_.push_back(field);
  }
  if (missing) throw EDatabaseError(FormatMessage("Field '%s' not found", *missing));
}

void TGridDataLink::ResolveColumnsThen(const std::function<void()>& callback) {
  std::exception_ptr failure;
  try {
    ResolveColumns();
  } catch (...) {
    failure = std::current_exception();
  }
  if (callback) callback();
  if (failure) std::rethrow_exception(failure);
}

int TGridDataLink::InsertRow() const {
  if (!Active() || DataSet()->State() != dsInsert) return -1;
  // While a record is inserted the cursor still stands on the record that was current, and
  // InsertRecord places the new one before it (after the last one when there was none).
  const int recNo = DataSet()->RecNo();
  return recNo > 0 ? recNo - 1 : DataSet()->RecordCount();
}

int TGridDataLink::RowCount() const {
  if (!Active()) return 0;
  const int records = DataSet()->RecordCount();
  return InsertRow() >= 0 ? records + 1 : records;
}

int TGridDataLink::CurrentRow() const {
  if (!Active()) return -1;
  const int insertRow = InsertRow();
  if (insertRow >= 0) return insertRow;
  const int recNo = DataSet()->RecNo();
  return recNo > 0 ? recNo - 1 : -1;
}

std::string TGridDataLink::CellText(int row, int column) const {
  TField* field = ColumnField(column);
  if (!field || row < 0 || row >= RowCount()) return {};
  TMemTable* table = DataSet();
  const int insertRow = InsertRow();
  if (insertRow >= 0) {
    if (row == insertRow) return field->DisplayText();  // the new record's buffer
    if (row > insertRow) --row;
  } else if (table->State() == dsEdit && row == CurrentRow()) {
    return field->DisplayText();  // the record being edited, as changed so far
  }
  return table->DisplayTextAt(row + 1, *field);
}

bool TGridDataLink::UnchangedInsert() const {
  return Active() && DataSet()->State() == dsInsert && !DataSet()->Modified();
}

void TGridDataLink::StepBack() {
  if (!Active()) return;
  TMemTable* table = DataSet();
  if (UnchangedInsert() && table->Eof())
    table->CancelRecord();
  else
    table->Prior();
}

void TGridDataLink::StepForward() {
  if (!Active()) return;
  TMemTable* table = DataSet();
  if (UnchangedInsert()) {
    if (!table->Eof()) table->CancelRecord();
    return;
  }
  table->Next();
}

void TGridDataLink::MoveToFirst() {
  if (Active()) DataSet()->First();
}

void TGridDataLink::MoveToLast() {
  if (Active()) DataSet()->Last();
}

void TGridDataLink::MoveRows(int rows) {
  if (Active() && rows != 0) DataSet()->MoveBy(rows);
}

void TGridDataLink::MoveToRow(int row) {
  if (!Active() || row < 0 || row >= RowCount()) return;
  MoveRows(row - CurrentRow());
}

void TGridDataLink::CancelEdit() {
  if (!Active()) return;
  const TDataSetState state = DataSet()->State();
  if (state == dsEdit || state == dsInsert) DataSet()->CancelRecord();
}

void TGridDataLink::CancelOnExit() {
  if (UnchangedInsert()) DataSet()->CancelRecord();
}

bool TGridDataLink::CanDelete() const {
  if (!Active() || ReadOnly()) return false;
  TMemTable* table = DataSet();
  return !table->IsEmpty() && table->CanModify();
}

void TGridDataLink::DeleteCurrent() {
  if (Active()) DataSet()->DeleteRecord();
}

void TGridDataLink::ActiveChanged() {
  ResolveColumnsThen(OnActiveChange);
}

void TGridDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange();
}

void TGridDataLink::RecordChanged(TField* field) {
  if (OnRecordChanged) OnRecordChanged(field);
}

void TGridDataLink::DataSetChanged() {
  if (OnDataSetChanged) OnDataSetChanged();
}

void TGridDataLink::DataSetScrolled(int distance) {
  if (OnScrolled) OnScrolled(distance);
}

void TGridDataLink::LayoutChanged() {
  ResolveColumnsThen(OnLayoutChange);
}

}  // namespace kdx
