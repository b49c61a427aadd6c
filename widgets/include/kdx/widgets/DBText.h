#pragma once
// TDBText: a label that shows the display text of one field of the current record (nothing
// when no field is bound or the table is closed). It never edits. The text is plain: an "&"
// is shown as it is. Word wrapping is off unless set (setWordWrap).

#include <QLabel>
#include <memory>

#include "kdx/binding/DataLink.h"

namespace kdx::widgets {

class TDBText : public QLabel {
  Q_OBJECT

 public:
  explicit TDBText(QWidget* parent = nullptr);
  ~TDBText() override;

  kdx::TDataSource* DataSource() const { return link_->DataSource(); }
  void SetDataSource(kdx::TDataSource* source) { link_->SetDataSource(source); }
  QString DataField() const { return QString::fromStdString(link_->FieldName()); }
  void SetDataField(const QString& fieldName) { link_->SetFieldName(fieldName.toStdString()); }
  kdx::TField* Field() const { return link_->Field(); }
  kdx::TFieldDataLink& DataLink() { return *link_; }

 private:
  void DataChange();

  std::unique_ptr<kdx::TFieldDataLink> link_;
};

}  // namespace kdx::widgets
