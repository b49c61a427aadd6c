// TMemTable: records begun, edited, posted, cancelled and deleted, and the record buffer of the
// edit and insert states.

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "MemIndex.h"
#include "MemTableCommon.h"
#include "kdx/memtable/MemTable.h"

namespace kdx {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace

// --- records -----------------------------------------------------------------------------------

TMemRecord* TMemTable::CurrentRecord() const {
  if (!current_ || cursor_ < 0 || cursor_ >= static_cast<int>(current_->List().size()))
    return nullptr;
  return current_->List()[static_cast<std::size_t>(cursor_)];
}

const unsigned char* TMemTable::ActiveData() const {
  if (state_ == dsEdit || state_ == dsInsert) return buffer_.data();
  if (state_ == dsBrowse) {
    if (const TMemRecord* r = CurrentRecord()) return r->Data();
  }
  return nullptr;
}

void TMemTable::BeginNewRecord(bool append) {
  CheckActive();
  SettleRecord();
  insertRecNo_ = RecNo();
  appending_ = append;
  buffer_.assign(recordSize_, 0);  // every field null
  modified_ = false;
  editRecord_ = nullptr;
  SetState(dsInsert);
  Notify(BindingEvent::RecordContents);
}

void TMemTable::InsertRecord() {
  Guard guard(common_->Lock());
  BeginNewRecord(false);
}

void TMemTable::AppendRecord() {
  Guard guard(common_->Lock());
  BeginNewRecord(true);
}

void TMemTable::EditRecord() {
  Guard guard(common_->Lock());
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (IsEmpty()) {
    BeginNewRecord(false);
    return;
  }
  SettleRecord();
  editRecord_ = CurrentRecord();
  buffer_.assign(editRecord_->Data(), editRecord_->Data() + recordSize_);
  modified_ = false;
  SetState(dsEdit);
  Notify(BindingEvent::RecordContents);
}

void TMemTable::PostRecord() {
  Guard guard(common_->Lock());
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert)
    throw EDatabaseError("Dataset not in edit or insert mode");
  Notify(BindingEvent::FlushEdits);

  const unsigned char* data = buffer_.data();
  // While a load keeps the indexes out of date, the rebuild at its end checks them all at once.
  if (indexMaintenance_) indexes_->CheckUnique(data, editRecord_, *common_, localeId_);

  TMemRecord* record;
  int position;  // the record's place in the current index, once known
  if (state_ == dsInsert) {
    record = common_->AddRecord(data);
    // An insert goes before the record that was current, in the row order when that is the
    // order shown; otherwise the row order takes it at its end.
    const bool atCursor = current_ == indexes_->RowOrder() && !appending_ && insertRecNo_ > 0;
    const std::size_t rowOrderAt =
        atCursor ? static_cast<std::size_t>(insertRecNo_ - 1) : static_cast<std::size_t>(-1);
    position = indexes_->AddRecord(record, rowOrderAt, current_, localeId_, indexMaintenance_);
  } else {
    record = editRecord_;
    // The record being edited is the current one; the row order keeps it where it is.
    const int moved = indexes_->ChangeRecord(record, data, current_, localeId_, indexMaintenance_);
    position = moved >= 0 ? moved : cursor_;
    if (recordSize_ > 0) std::memcpy(record->Data(), data, recordSize_);
  }

  modified_ = false;
  editRecord_ = nullptr;
  buffer_.clear();
  state_ = dsBrowse;
  if (indexMaintenance_) {
    // The cursor needs a list that holds every record.
    if (!current_->UpToDate()) {
      try {
        current_->Rebuild(*common_, localeId_);
      } catch (...) {
        // The list is whole even when the rebuild finds duplicates: keep a current record.
        SetCursorTo(record);
        throw;
      }
      position = -1;
    }
    cursor_ = position >= 0 ? position : current_->IndexOf(record);
    bof_ = eof_ = false;
  }
  Notify(BindingEvent::StateChange);
  Notify(BindingEvent::WholeData);
}

// While a load has the controls disabled and index maintenance off, nobody hears of a record
// beginning or being posted and no index takes it in: from the browse state a record of the
// file begins and is posted with only what AppendRecord and PostRecord then do. Any other
// state takes the general way.
void TMemTable::AppendLoadedRecord() {
  if (disableCount_ == 0 || indexMaintenance_ || state_ != dsBrowse) {
    AppendRecord();
    return;
  }
  insertRecNo_ = RecNo();
  appending_ = true;
  buffer_.assign(recordSize_, 0);  // every field null
  modified_ = false;
  editRecord_ = nullptr;
  state_ = dsInsert;
}

void TMemTable::PostLoadedRecord() {
  if (disableCount_ == 0 || indexMaintenance_ || state_ != dsInsert || editRecord_) {
    PostRecord();
    return;
  }
  common_->AddRecord(buffer_.data());
  indexes_->MarkAllOutOfDate();
  modified_ = false;
  buffer_.clear();
  state_ = dsBrowse;
}

void TMemTable::CancelRecord() {
  Guard guard(common_->Lock());
  if (state_ != dsEdit && state_ != dsInsert) return;
  buffer_.clear();
  modified_ = false;
  editRecord_ = nullptr;
  state_ = dsBrowse;
  Notify(BindingEvent::StateChange);
  Notify(BindingEvent::WholeData);
}

void TMemTable::DeleteRecord() {
  Guard guard(common_->Lock());
  CheckActive();
  if (state_ == dsInsert) {
    CancelRecord();
    return;
  }
  if (IsEmpty()) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  TMemRecord* record = CurrentRecord();
  if (state_ == dsEdit) {
    buffer_.clear();
    modified_ = false;
    editRecord_ = nullptr;
    state_ = dsBrowse;
  }
  // Every index lets go of the record, maintained or not, so no list keeps a freed record.
  indexes_->RemoveRecord(record, current_, cursor_);
  common_->DeleteRecord(record);
  const int count = static_cast<int>(current_->List().size());
  if (cursor_ >= count) cursor_ = count - 1;
  bof_ = eof_ = count == 0;
  Notify(BindingEvent::StateChange);
  Notify(BindingEvent::WholeData);
}

void TMemTable::SettleRecord() {
  Guard guard(common_->Lock());
  Notify(BindingEvent::SettleCheck);
  if (state_ != dsEdit && state_ != dsInsert) return;
  Notify(BindingEvent::FlushEdits);
  if (modified_)
    PostRecord();
  else
    CancelRecord();
}

}  // namespace kdx
