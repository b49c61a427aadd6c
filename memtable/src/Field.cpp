#include "kdx/memtable/Field.h"

#include <mutex>

#include "FieldAccess.h"
#include "MemTableCommon.h"
#include "kdx/memtable/MemTable.h"
#include "kdx/platform/Text.h"

namespace kdx {

namespace {

// SetValue of either kind: null clears the field, a text or a truth value goes to the setter of
// its kind, an integer to `setInteger`. False for what no field takes (an array).
template <typename SetInteger>
bool SetFromVariant(TField& field, const TVariant& value, SetInteger setInteger) {
  switch (value.GetKind()) {
    case TVariant::Kind::Null:
      field.Clear();
      return true;
    case TVariant::Kind::String:
      field.SetAsString(value.Text());
      return true;
    case TVariant::Kind::Boolean:
      field.SetAsBoolean(value.Boolean());
      return true;
    case TVariant::Kind::Integer:
      setInteger(value.Integer());
      return true;
    case TVariant::Kind::Array:
      break;
  }
  return false;
}
}  // namespace

TField::TField(TMemTable* table, std::string fieldName, TFieldType type, int size)
    : table_(table), fieldName_(std::move(fieldName)), dataType_(type), size_(size) {}

std::recursive_mutex& TField::TableLock() const {
  return table_->StoreLock();
}

bool TField::CanModify() const {
  return !readOnly_ && table_ && table_->CanModify();
}

const unsigned char* TField::ReadSlot() const {
  const unsigned char* data = table_ ? table_->ActiveData() : nullptr;
  return data ? data + offset_ : nullptr;
}

bool TField::IsNull() const {
  std::lock_guard guard(TableLock());
  const unsigned char* slot = ReadSlot();
  return !slot || TFieldAccess::IsNull(slot);
}

unsigned char* TField::BeginWrite() {
  const TDataSetState state = table_->State();
  if (state != dsEdit && state != dsInsert) throw EDatabaseError("Dataset is not in edit mode.");
  if (readOnly_) throw EDatabaseError(FormatMessage("Field %s is read only", DisplayName()));
  return table_->buffer_.data() + offset_;
}

void TField::EndWrite() {
  table_->modified_ = true;
  table_->Notify(BindingEvent::FieldValue, this);
}

void TField::Clear() {
  std::lock_guard guard(TableLock());
  TFieldAccess::StoreNull(*this, BeginWrite());
  EndWrite();
}

void TField::FocusControl() {
  table_->Notify(BindingEvent::FocusField, this);
}

void TField::InvalidValue() const {
  throw EDatabaseError(FormatMessage("Invalid value for field '%s'", DisplayName()));
}

// --- TStringField ------------------------------------------------------------------------------

TStringField::TStringField(TMemTable* table, std::string fieldName, int size)
    : TField(table, std::move(fieldName), TFieldType::String, size) {}

std::string TStringField::AsString() const {
  std::lock_guard guard(TableLock());
  const unsigned char* slot = ReadSlot();
  if (!slot || TFieldAccess::IsNull(slot)) return {};
  return std::string(TFieldAccess::Text(*this, slot));
}

bool TStringField::AsBoolean() const {
  return text::EqualsAsciiNoCase(AsString(), "True");
}

TVariant TStringField::Value() const {
  if (IsNull()) return {};
  return TVariant(AsString());
}

void TStringField::SetAsString(const std::string& text) {
  std::lock_guard guard(TableLock());
  TFieldAccess::StoreText(*this, BeginWrite(), text);
  EndWrite();
}

void TStringField::SetAsBoolean(bool value) {
  SetAsString(value ? DataSet()->CsvFormat().TrueString : DataSet()->CsvFormat().FalseString);
}

void TStringField::SetValue(const TVariant& value) {
  if (!SetFromVariant(*this, value, [this](auto n) { SetAsString(std::to_string(n)); }))
    InvalidValue();
}

// --- TBooleanField -----------------------------------------------------------------------------

TBooleanField::TBooleanField(TMemTable* table, std::string fieldName)
    : TField(table, std::move(fieldName), TFieldType::Boolean, 0) {}

std::string TBooleanField::AsString() const {
  std::lock_guard guard(TableLock());
  const unsigned char* slot = ReadSlot();
  if (!slot || TFieldAccess::IsNull(slot)) return {};
  return TFieldAccess::Truth(slot) ? "True" : "False";
}

bool TBooleanField::AsBoolean() const {
  std::lock_guard guard(TableLock());
  const unsigned char* slot = ReadSlot();
  return slot && !TFieldAccess::IsNull(slot) && TFieldAccess::Truth(slot);
}

TVariant TBooleanField::Value() const {
  if (IsNull()) return {};
  return TVariant(AsBoolean());
}

void TBooleanField::SetAsString(const std::string& text) {
  if (text.empty()) {
    Clear();
  } else if (text::EqualsAsciiNoCase(text, "True")) {
    SetAsBoolean(true);
  } else if (text::EqualsAsciiNoCase(text, "False")) {
    SetAsBoolean(false);
  } else {
    InvalidValue();
  }
}

void TBooleanField::SetAsBoolean(bool value) {
  std::lock_guard guard(TableLock());
  TFieldAccess::StoreTruth(BeginWrite(), value);
  EndWrite();
}

void TBooleanField::SetValue(const TVariant& value) {
  if (!SetFromVariant(*this, value, [this](auto n) { SetAsBoolean(n != 0); })) InvalidValue();
}

}  // namespace kdx
