#include "kdx/widgets/DBCheckBox.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include "kdx/widgets/QtText.h"

namespace kdx::widgets {

namespace {

QStringList Items(const QString& list) {
  return list.split(QLatin1Char(';'));
}

}  // namespace

TDBCheckBox::TDBCheckBox(QWidget* parent) : QCheckBox(parent) {
  Init();
}

TDBCheckBox::TDBCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
  Init();
}

void TDBCheckBox::Init() {
  link_.reset(new kdx::TFieldDataLink);
  setTristate(true);
  setCheckState(Qt::Unchecked);
  link_->OnDataChange = [this] { DataChange(); };
  link_->OnUpdateData = [this] { UpdateData(); };
  link_->OnFocusRequest = [this] { FocusRequest(); };
}

TDBCheckBox::~TDBCheckBox() {
  link_->OnDataChange = nullptr;
  link_->OnUpdateData = nullptr;
  link_->OnFocusRequest = nullptr;
}

void TDBCheckBox::SetValueChecked(const QString& value) {
  valueChecked_ = value;
  DataChange();
}

void TDBCheckBox::SetValueUnchecked(const QString& value) {
  valueUnchecked_ = value;
  DataChange();
}

Qt::CheckState TDBCheckBox::FieldState() const {
  kdx::TField* field = link_->Field();
  if (!field) return Qt::Unchecked;
  if (field->IsNull()) return Qt::PartiallyChecked;
  if (field->DataType() == kdx::TFieldType::Boolean)
    return field->AsBoolean() ? Qt::Checked : Qt::Unchecked;
  const QString text = FromCp(field->EditText());
  for (const QString& item : Items(valueChecked_))
    if (text.compare(item, Qt::CaseInsensitive) == 0) return Qt::Checked;
  for (const QString& item : Items(valueUnchecked_))
    if (text.compare(item, Qt::CaseInsensitive) == 0) return Qt::Unchecked;
  return Qt::PartiallyChecked;
}

void TDBCheckBox::DataChange() {
  setCheckState(FieldState());
}

void TDBCheckBox::UpdateData() {
  kdx::TField* field = link_->Field();
  const Qt::CheckState state = checkState();
  if (state == Qt::PartiallyChecked) {
    field->Clear();
  } else if (field->DataType() == kdx::TFieldType::Boolean) {
    field->SetAsBoolean(state == Qt::Checked);
  } else {
    const QString& list = state == Qt::Checked ? valueChecked_ : valueUnchecked_;
    field->SetAsString(ToCp(Items(list).value(0)));
  }
}

void TDBCheckBox::FocusRequest() {
  if (isVisible() && isEnabled() && focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
}

void TDBCheckBox::nextCheckState() {
  // A click changes the box only once the table edits the record.
  if (!link_->Edit()) return;
  setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  link_->Modified();
}

void TDBCheckBox::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (mods == Qt::NoModifier) {
    switch (event->key()) {
      case Qt::Key_Backspace:
        link_->Edit();
        event->accept();
        return;
      case Qt::Key_Space:
        link_->Edit();
        break;  // the button toggles when the key is released
      case Qt::Key_Escape:
        link_->Reset();
        break;  // not consumed: the dialog's cancel button still sees it
      default:
        break;
    }
  }
  QCheckBox::keyPressEvent(event);
}

void TDBCheckBox::focusOutEvent(QFocusEvent* event) {
  QCheckBox::focusOutEvent(event);
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
    return;
  try {
    link_->UpdateRecord();
  } catch (...) {
    setFocus(Qt::OtherFocusReason);
    throw;
  }
}

}  // namespace kdx::widgets
