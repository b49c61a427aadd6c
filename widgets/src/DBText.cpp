#include "kdx/widgets/DBText.h"

#include "kdx/widgets/QtText.h"

namespace kdx::widgets {

TDBText::TDBText(QWidget* parent) : QLabel(parent), link_(new kdx::TFieldDataLink) {
  setTextFormat(Qt::PlainText);
  link_->SetReadOnly(true);
  link_->OnDataChange = [this] { DataChange(); };
}

TDBText::~TDBText() {
  link_->OnDataChange = nullptr;
}

void TDBText::DataChange() {
  kdx::TField* field = link_->Field();
  setText(field ? FromCp(field->DisplayText()) : QString());
}

}  // namespace kdx::widgets
