// TMemTable: fields, opening and closing, cursor and index selection. Records are begun, posted
// and deleted in MemTableRecords.cpp, listeners told in MemTableListeners.cpp; the search is in
// MemTableSearch.cpp, the table file routines in TableFileWriter.cpp and TableFileReader.cpp.

#include "kdx/memtable/MemTable.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "FieldAccess.h"
#include "FieldNames.h"
#include "MemIndex.h"
#include "MemTableCommon.h"
#include "kdx/platform/Text.h"

namespace kdx {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace

TMemTable::TMemTable(std::string name)
    : name_(std::move(name)), common_(std::make_unique<TMemTableCommon>()) {}

TMemTable::~TMemTable() {
  std::vector<TBindingListener*> listeners;
  listeners.swap(listeners_);
  for (auto it = listeners.rbegin(); it != listeners.rend(); ++it) (*it)->TableDestroying(this);
  Guard guard(common_->Lock());
  state_ = dsInactive;
  current_ = nullptr;
  indexes_.reset();
  common_->Clear();
}

std::recursive_mutex& TMemTable::StoreLock() const {
  return common_->Lock();
}

// --- definition --------------------------------------------------------------------------------

void TMemTable::CheckInactive() const {
  if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
}

void TMemTable::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

TStringField* TMemTable::AddStringField(const std::string& fieldName, int size) {
  CheckInactive();
  if (fieldName.empty()) throw EDatabaseError("Field name missing");
  if (FindField(fieldName))
    throw EDatabaseError(FormatMessage("Duplicate field name '%s'", fieldName));
  if (size < 1 || size > kMaxStringSize)
    throw EDatabaseError(FormatMessage("Invalid field size %d", size));
  auto field = std::make_unique<TStringField>(this, fieldName, size);
  TStringField* result = field.get();
  fields_.push_back(std::move(field));
  LayoutRecords();
  Notify(BindingEvent::FieldLayout);
  return result;
}

TBooleanField* TMemTable::AddBooleanField(const std::string& fieldName) {
  CheckInactive();
  if (fieldName.empty()) throw EDatabaseError("Field name missing");
  if (FindField(fieldName))
    throw EDatabaseError(FormatMessage("Duplicate field name '%s'", fieldName));
  auto field = std::make_unique<TBooleanField>(this, fieldName);
  TBooleanField* result = field.get();
  fields_.push_back(std::move(field));
  LayoutRecords();
  Notify(BindingEvent::FieldLayout);
  return result;
}

void TMemTable::ClearFields() {
  CheckInactive();
  ClearFieldsUnchecked();
}

void TMemTable::ClearFieldsUnchecked() {
  fields_.clear();
  LayoutRecords();
  Notify(BindingEvent::FieldLayout);
}

void TMemTable::LayoutRecords() {
  int offset = 0;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    TFieldAccess::SetLayout(*fields_[i], static_cast<int>(i), offset);
    offset += static_cast<int>(TFieldAccess::SlotSize(*fields_[i]));
  }
  recordSize_ = static_cast<std::size_t>(offset);
}

TField* TMemTable::FindField(const std::string& fieldName) const {
  for (const auto& f : fields_)
    if (text::EqualsAsciiNoCase(f->FieldName(), fieldName)) return f.get();
  return nullptr;
}

TField* TMemTable::FieldByName(const std::string& fieldName) const {
  TField* f = FindField(fieldName);
  if (!f) throw EDatabaseError(FormatMessage("Field '%s' not found", fieldName));
  return f;
}

// --- open and close ----------------------------------------------------------------------------

void TMemTable::CreateIndexes() {
  indexes_->DropAllButRowOrder();
  for (int i = 0; i < indexDefs_.Count(); ++i) {
    const TIndexDef& def = indexDefs_[i];
    const std::vector<std::string> names = SplitFieldNames(def.Fields);
    if (def.Name.empty() || names.empty())
      throw EMemTableError("Missing Name or FieldNames in IndexDef!");
    TKeyFields keys;
    for (const std::string& name : names) {
      TField* field = FieldByName(name);
      // Every field is a data field of a comparable kind (text or truth value), so every field
      // can be a key ("Can't index on field %s" never arises).
      TKeyField key;
      key.Field = field;
      key.Descending = def.Options.Contains(ixDescending);
      key.CaseInsensitive = def.Options.Contains(ixCaseInsensitive);
      keys.push_back(key);
    }
    indexes_->Add(
        std::make_unique<TMemIndex>(def.Name, def.Fields, def.Options, std::move(keys), false));
  }
}

void TMemTable::OpenTable() {
  Guard guard(common_->Lock());
  if (Active()) return;
  LayoutRecords();
  common_->Clear();
  common_->SetRecordSize(recordSize_);
  indexes_ = std::make_unique<TMemIndexes>();
  try {
    CreateIndexes();
  } catch (...) {
    indexes_.reset();
    throw;
  }
  current_ = indexes_->RowOrder();
  cursor_ = -1;
  bof_ = eof_ = true;
  modified_ = false;
  editRecord_ = nullptr;
  state_ = dsBrowse;
  RebuildIndexes();
  // The remembered selection: the index fields first, then the index name.
  if (!indexFieldNames_.empty()) {
    const std::string fields = indexFieldNames_;
    if (TMemIndex* index = FindIndexByFields(fields)) {
      current_ = index;
      indexName_ = index->Name();
    }
  } else if (!indexName_.empty()) {
    if (TMemIndex* index = FindIndexByName(indexName_)) {
      current_ = index;
      indexFieldNames_ = index->FieldNames();
    }
  }
  Notify(BindingEvent::StateChange);
  Notify(BindingEvent::WholeData);
}

void TMemTable::CloseTable() {
  Guard guard(common_->Lock());
  if (!Active()) return;
  buffer_.clear();
  modified_ = false;
  editRecord_ = nullptr;
  current_ = nullptr;
  indexes_.reset();
  common_->Clear();
  cursor_ = -1;
  bof_ = eof_ = true;
  state_ = dsInactive;
  Notify(BindingEvent::StateChange);
}

void TMemTable::SetState(TDataSetState state) {
  if (state_ == state) return;
  state_ = state;
  Notify(BindingEvent::StateChange);
}

// --- cursor ------------------------------------------------------------------------------------

void TMemTable::First() {
  Guard guard(common_->Lock());
  CheckActive();
  SettleRecord();
  const int old = cursor_;
  const int count = static_cast<int>(current_->List().size());
  cursor_ = count > 0 ? 0 : -1;
  bof_ = true;
  eof_ = count == 0;
  if (cursor_ != old) Notify(BindingEvent::CursorMove, nullptr, cursor_ - old);
}

void TMemTable::Last() {
  Guard guard(common_->Lock());
  CheckActive();
  SettleRecord();
  const int old = cursor_;
  const int count = static_cast<int>(current_->List().size());
  cursor_ = count - 1;
  eof_ = true;
  bof_ = count == 0;
  if (cursor_ != old) Notify(BindingEvent::CursorMove, nullptr, cursor_ - old);
}

int TMemTable::MoveBy(int distance) {
  Guard guard(common_->Lock());
  CheckActive();
  SettleRecord();
  const int count = static_cast<int>(current_->List().size());
  if (count == 0) {
    bof_ = eof_ = true;
    return 0;
  }
  if (distance == 0) return 0;
  const long long target = static_cast<long long>(cursor_) + distance;
  const int clamped = static_cast<int>(std::clamp<long long>(target, 0, count - 1));
  const int moved = clamped - cursor_;
  if (distance > 0) {
    bof_ = false;
    eof_ = target > count - 1;
  } else {
    eof_ = false;
    bof_ = target < 0;
  }
  cursor_ = clamped;
  if (moved != 0) Notify(BindingEvent::CursorMove, nullptr, moved);
  return moved;
}

void TMemTable::Next() {
  MoveBy(1);
}
void TMemTable::Prior() {
  MoveBy(-1);
}

int TMemTable::RecordCount() const {
  CheckActive();
  return static_cast<int>(current_->List().size());
}

bool TMemTable::IsEmpty() const {
  return !Active() || current_->List().empty();
}

int TMemTable::RecNo() const {
  return CurrentRecord() ? cursor_ + 1 : -1;
}

std::string TMemTable::DisplayTextAt(int recNo, const TField& field) const {
  Guard guard(common_->Lock());
  CheckActive();
  if (recNo < 1 || recNo > static_cast<int>(current_->List().size()) || field.DataSet() != this)
    return {};
  const unsigned char* slot =
      TFieldAccess::Slot(field, current_->List()[static_cast<std::size_t>(recNo - 1)]->Data());
  if (TFieldAccess::IsNull(slot)) return {};
  if (field.DataType() == TFieldType::Boolean) return TFieldAccess::Truth(slot) ? "True" : "False";
  return std::string(TFieldAccess::Text(field, slot));
}

bool TMemTable::IsNullAt(int recNo, const TField& field) const {
  Guard guard(common_->Lock());
  CheckActive();
  if (recNo < 1 || recNo > static_cast<int>(current_->List().size()) || field.DataSet() != this)
    return true;
  return TFieldAccess::IsNull(
      TFieldAccess::Slot(field, current_->List()[static_cast<std::size_t>(recNo - 1)]->Data()));
}

void TMemTable::SetCursorTo(TMemRecord* record) {
  const int pos = record ? current_->IndexOf(record) : -1;
  if (pos >= 0) {
    cursor_ = pos;
  } else {
    cursor_ = current_->List().empty() ? -1 : 0;
  }
  bof_ = eof_ = current_->List().empty();
}

// --- indexes -----------------------------------------------------------------------------------

TMemIndex* TMemTable::FindIndexByName(const std::string& name) const {
  if (!indexes_) return nullptr;
  for (std::size_t i = 0; i < indexes_->Count(); ++i)
    if (text::EqualsAsciiNoCase((*indexes_)[i]->Name(), name)) return (*indexes_)[i];
  return nullptr;
}

TMemIndex* TMemTable::FindIndexByFields(const std::string& fields) const {
  if (!indexes_) return nullptr;
  for (std::size_t i = 1; i < indexes_->Count(); ++i)
    if (text::EqualsAsciiNoCase((*indexes_)[i]->FieldNames(), fields)) return (*indexes_)[i];
  return nullptr;
}

void TMemTable::SelectIndex(TMemIndex* index) {
  if (index == current_) return;
  SettleRecord();
  TMemRecord* record = CurrentRecord();
  if (!index->UpToDate()) index->Rebuild(*common_, localeId_);
  current_ = index;
  indexName_ = index->IsRowOrder() ? std::string() : index->Name();
  indexFieldNames_ = index->IsRowOrder() ? std::string() : index->FieldNames();
  SetCursorTo(record);
  Notify(BindingEvent::WholeData);
}

void TMemTable::SetIndexName(const std::string& name) {
  ChooseIndex(name, false);
}

void TMemTable::SetIndexFieldNames(const std::string& fields) {
  ChooseIndex(fields, true);
}

void TMemTable::ChooseIndex(const std::string& key, bool byFields) {
  Guard guard(common_->Lock());
  if (!Active()) {
    (byFields ? indexFieldNames_ : indexName_) = key;
    (byFields ? indexName_ : indexFieldNames_).clear();
    return;
  }
  if (key.empty()) {
    SelectIndex(indexes_->RowOrder());
  } else if (TMemIndex* index = byFields ? FindIndexByFields(key) : FindIndexByName(key)) {
    SelectIndex(index);
  }
}

std::vector<std::string> TMemTable::IndexNames() const {
  std::vector<std::string> names;
  if (!indexes_) return names;
  for (std::size_t i = 0; i < indexes_->Count(); ++i) names.push_back((*indexes_)[i]->Name());
  return names;
}

void TMemTable::SetIndexMaintenance(bool on) {
  indexMaintenance_ = on;
}

void TMemTable::RebuildIndexes() {
  if (!indexes_) return;
  // Every list is refilled, even after a unique index has found duplicates (its list is whole
  // and sorted all the same), so no list is left stale; the first failure is reported.
  indexes_->MarkAllOutOfDate();
  std::exception_ptr failure;
  for (std::size_t i = 0; i < indexes_->Count(); ++i) {
    try {
      (*indexes_)[i]->Rebuild(*common_, localeId_);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kdx
