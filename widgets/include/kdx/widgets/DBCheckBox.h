#pragma once
// TDBCheckBox: a check box bound to one field through a TFieldDataLink.
//
// Shown state: unchecked without a field; grayed (partially checked) for a null field; for a
// Boolean field checked when true; for other fields the text is compared, ignoring case, with
// the items of ValueChecked, then ValueUnchecked (items separated by ';'), no match is grayed.
// A click toggles (grayed becomes checked) only after editing could begin; Space and Backspace
// begin editing; Esc shows the field's value again. Leaving the box writes: grayed clears the
// field, a Boolean field takes the checked state, others the first item of ValueChecked or
// ValueUnchecked. A failed write keeps the focus in the box and propagates.

#include <QCheckBox>
#include <memory>

#include "kdx/binding/DataLink.h"

namespace kdx::widgets {

class TDBCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit TDBCheckBox(QWidget* parent = nullptr);
  explicit TDBCheckBox(const QString& text, QWidget* parent = nullptr);
  ~TDBCheckBox() override;

  kdx::TDataSource* DataSource() const { return link_->DataSource(); }
  void SetDataSource(kdx::TDataSource* source) { link_->SetDataSource(source); }
  QString DataField() const { return QString::fromStdString(link_->FieldName()); }
  void SetDataField(const QString& fieldName) { link_->SetFieldName(fieldName.toStdString()); }
  bool ReadOnly() const { return link_->ReadOnly(); }
  void SetReadOnly(bool readOnly) { link_->SetReadOnly(readOnly); }
  // Texts for non-Boolean fields ("True" / "False" by default).
  QString ValueChecked() const { return valueChecked_; }
  void SetValueChecked(const QString& value);
  QString ValueUnchecked() const { return valueUnchecked_; }
  void SetValueUnchecked(const QString& value);

  kdx::TField* Field() const { return link_->Field(); }
  kdx::TFieldDataLink& DataLink() { return *link_; }

 protected:
  void nextCheckState() override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Init();
  void DataChange();
  void UpdateData();
  void FocusRequest();
  Qt::CheckState FieldState() const;

  std::unique_ptr<kdx::TFieldDataLink> link_;
  QString valueChecked_ = QStringLiteral("True");
  QString valueUnchecked_ = QStringLiteral("False");
};

}  // namespace kdx::widgets
