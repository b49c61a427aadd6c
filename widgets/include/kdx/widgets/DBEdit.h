#pragma once
// TDBEdit: an edit box bound to one field of a table through a TFieldDataLink.
//
// The box is read-only except while its link is editing. Typing a printable character,
// Backspace, Delete, Ctrl+V, Ctrl+X, Shift+Insert, and the paste, cut and undo commands first
// begin editing (the data source puts the table into the edit state); if that fails the box
// stays read-only and the key has no effect. Characters that the field rejects, or that cp1250
// cannot hold, are dropped with a beep (also when pasted). Esc shows the field's value again,
// selects the whole text and is consumed. Leaving the box writes the text into the field; if
// that fails the text is selected, the focus returns to the box and the error propagates.
// Writing does not post: the table stays in the edit state until something settles it.
//
// The maximum length is taken from the string field's size when none is set.

#include <QLineEdit>
#include <memory>

#include "kdx/binding/DataLink.h"

namespace kdx::widgets {

class TDBEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TDBEdit(QWidget* parent = nullptr);
  ~TDBEdit() override;

  kdx::TDataSource* DataSource() const { return link_->DataSource(); }
  void SetDataSource(kdx::TDataSource* source);
  QString DataField() const;
  void SetDataField(const QString& fieldName);
  // The link's read-only flag (the box then never edits).
  bool ReadOnly() const { return link_->ReadOnly(); }
  void SetReadOnly(bool readOnly) { link_->SetReadOnly(readOnly); }
  // The maximum number of characters; 0 takes it from the field's size.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int length);

  kdx::TField* Field() const { return link_->Field(); }
  kdx::TFieldDataLink& DataLink() { return *link_; }

  // The edit commands of the context menu; each begins editing first.
  void PasteText();
  void CutText();
  void UndoText();
  void DeleteText();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  void DataChange();
  void EditingChange();
  void ActiveChange();
  void UpdateData();
  void FocusRequest();
  void ResetMaxLength();
  void ApplyMaxLength();
  // False (after a beep) when a character of `text` cannot be stored in the field.
  bool AcceptText(const QString& text);

  std::unique_ptr<kdx::TFieldDataLink> link_;
  int maxLength_ = 0;
  bool maxLengthFromField_ = false;
  bool focused_ = false;
};

}  // namespace kdx::widgets
