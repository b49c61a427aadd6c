#pragma once
// Field objects of a memory table: one per declared field, owned by the table (TMemTable) and
// valid until the table's field list is cleared or the table is destroyed.
//
// A field reads the table's current record: the record buffer while the table is in the edit
// or insert state, the stored record in browse state; with no current record (closed or empty
// table) every field is null. Writing needs the edit or insert state ("Dataset is not in edit
// mode.") and a field that is not read-only ("Field %s is read only"); a write goes to the
// record buffer and reaches the store only when the record is posted.
//
// Text is cp1250 bytes. A string field keeps at most Size() bytes of a text (the rest is dropped
// silently) and stops at the first NUL; the empty text is a value, distinct from null.

#include <mutex>
#include <string>

#include "kdx/memtable/Variant.h"

namespace kdx {

class TMemTable;

enum class TFieldType { String, Boolean };

class TField {
 public:
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;
  virtual ~TField() = default;

  // --- definition ------------------------------------------------------------------------
  const std::string& FieldName() const { return fieldName_; }
  TFieldType DataType() const { return dataType_; }
  // Characters a string field holds; 0 for other kinds.
  int Size() const { return size_; }
  // Position in the table's field list (0-based).
  int Index() const { return index_; }
  TMemTable* DataSet() const { return table_; }

  // The display label when set, else the field name (the header of the table file).
  std::string DisplayName() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  const std::string& DisplayLabel() const { return displayLabel_; }
  void SetDisplayLabel(std::string label) { displayLabel_ = std::move(label); }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  // True when a write could succeed as far as the field and table go: not read-only, table
  // open and modifiable (the state is not checked).
  bool CanModify() const;
  // False for characters the field never accepts when typed (string fields accept all).
  virtual bool IsValidChar(char /*c*/) const { return true; }

  // --- reading the current record --------------------------------------------------------
  bool IsNull() const;
  // Text of the value; "" for null. Truth values read as "True" / "False".
  virtual std::string AsString() const = 0;
  // Truth of the value; false for null. A string field is true when its text is "True"
  // (ignoring ASCII case).
  virtual bool AsBoolean() const = 0;
  // The value as a variant: null, a String or a Boolean.
  virtual TVariant Value() const = 0;
  // What a control shows when it does not edit the field: "" for null.
  std::string DisplayText() const { return AsString(); }
  // What an edit box shows while it edits the field.
  std::string EditText() const { return AsString(); }

  // --- writing the current record (edit or insert state) ---------------------------------
  virtual void SetAsString(const std::string& text) = 0;
  virtual void SetAsBoolean(bool value) = 0;
  // A null variant clears the field; a variant the field cannot take fails with
  // "Invalid value for field '%s'" (the display name).
  virtual void SetValue(const TVariant& value) = 0;
  // The text an edit box writes: as SetAsString.
  void SetEditText(const std::string& text) { SetAsString(text); }
  // Makes the field null.
  void Clear();

  // Asks the bound controls to focus the control of this field (FocusField).
  void FocusControl();

 protected:
  TField(TMemTable* table, std::string fieldName, TFieldType type, int size);

  // The bytes of this field's RecordSlot in the current record, or nullptr when there is no
  // current record. The first byte is the null flag (0 null, 1 value), the value follows.
  const unsigned char* ReadSlot() const;
  // Checks state and read-only flag, then returns the slot in the record buffer to change.
  unsigned char* BeginWrite();
  // Marks the record modified and tells the listeners the field changed.
  void EndWrite();
  [[noreturn]] void InvalidValue() const;
  // The lock of the table's record store, held around every read and write of a field.
  std::recursive_mutex& TableLock() const;

 private:
  friend class TMemTable;
  friend struct TFieldAccess;
  TMemTable* table_;
  std::string fieldName_;
  TFieldType dataType_;
  int size_;
  int index_ = 0;
  int offset_ = 0;  // of the RecordSlot in the record, set when the table lays out its records
  std::string displayLabel_;
  bool visible_ = true;
  bool required_ = false;
  bool readOnly_ = false;
};

// A text of at most Size() cp1250 bytes; its slot holds Size + 1 bytes, NUL-terminated.
class TStringField : public TField {
 public:
  TStringField(TMemTable* table, std::string fieldName, int size);

  std::string AsString() const override;
  bool AsBoolean() const override;
  TVariant Value() const override;
  void SetAsString(const std::string& text) override;
  void SetAsBoolean(bool value) override;
  // Takes texts, truth values ("True"/"False") and integers (decimal text).
  void SetValue(const TVariant& value) override;
};

// A truth value; its slot holds a 16-bit word (0 false, otherwise true).
class TBooleanField : public TField {
 public:
  TBooleanField(TMemTable* table, std::string fieldName);

  std::string AsString() const override;
  bool AsBoolean() const override;
  TVariant Value() const override;
  // "" clears the field; "True"/"False" (ignoring ASCII case) set it; anything else fails with
  // "Invalid value for field '%s'".
  void SetAsString(const std::string& text) override;
  void SetAsBoolean(bool value) override;
  // Takes truth values, integers (0 false, else true) and the texts SetAsString takes.
  void SetValue(const TVariant& value) override;
};

}  // namespace kdx
