#include "kdx/widgets/DBEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QValidator>

#include "kdx/binding/DataSource.h"
#include "kdx/widgets/QtText.h"

namespace kdx::widgets {

namespace {

constexpr int kUnlimitedLength = 32767;

// Last line of defence for every way text can enter the box (drops, input methods): text that
// cp1250 cannot hold is refused as a whole. The key and paste paths refuse it earlier, with a
// beep.
class Cp1250Validator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    return IsCp1250(input) ? Acceptable : Invalid;
  }
};

bool IsPrintable(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text)
    if (c.unicode() < 32 || c.unicode() == 127) return false;
  return true;
}

}  // namespace

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent), link_(new kdx::TFieldDataLink) {
  QLineEdit::setReadOnly(true);
  setValidator(new Cp1250Validator(this));
  setAcceptDrops(false);
  link_->OnDataChange = [this] { DataChange(); };
  link_->OnEditingChange = [this] { EditingChange(); };
  link_->OnActiveChange = [this] { ActiveChange(); };
  link_->OnUpdateData = [this] { UpdateData(); };
  link_->OnFocusRequest = [this] { FocusRequest(); };
  connect(this, &QLineEdit::textEdited, this, [this] { link_->Modified(); });
}

TDBEdit::~TDBEdit() {
  // The link's callbacks point into this widget: stop them before the widget goes.
  link_->OnDataChange = nullptr;
  link_->OnEditingChange = nullptr;
  link_->OnActiveChange = nullptr;
  link_->OnUpdateData = nullptr;
  link_->OnFocusRequest = nullptr;
}

void TDBEdit::SetDataSource(kdx::TDataSource* source) {
  if (source == link_->DataSource()) return;
  ResetMaxLength();
  link_->SetDataSource(source);
}

QString TDBEdit::DataField() const {
  return QString::fromStdString(link_->FieldName());
}

void TDBEdit::SetDataField(const QString& fieldName) {
  if (fieldName.toStdString() == link_->FieldName()) return;
  ResetMaxLength();
  link_->SetFieldName(fieldName.toStdString());
}

void TDBEdit::SetMaxLength(int length) {
  maxLength_ = length < 0 ? 0 : length;
  maxLengthFromField_ = false;
  ApplyMaxLength();
}

void TDBEdit::ApplyMaxLength() {
  QLineEdit::setMaxLength(maxLength_ > 0 ? maxLength_ : kUnlimitedLength);
}

void TDBEdit::ResetMaxLength() {
  // A length taken from the old field is derived again from the new one.
  if (!maxLengthFromField_) return;
  maxLength_ = 0;
  maxLengthFromField_ = false;
  ApplyMaxLength();
}

void TDBEdit::DataChange() {
  kdx::TField* field = link_->Field();
  if (!field) {
    setText(QString());
    return;
  }
  // Every field of the tables is left-justified.
  const Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
  if (alignment != this->alignment()) {
    clear();
    setAlignment(alignment);
  }
  if (field->DataType() == kdx::TFieldType::String && maxLength_ == 0) {
    maxLength_ = field->Size();
    maxLengthFromField_ = true;
    ApplyMaxLength();
  }
  const bool keepModified = link_->Editing() && link_->IsModified();
  const std::string& value =
      (focused_ && link_->CanModify()) ? field->EditText() : field->DisplayText();
  // Only a different text replaces the box's: the same text keeps the cursor and selection,
  // so the key that began editing lands where the user put the cursor.
  const QString shown = FromCp(value);
  if (shown != text()) setText(shown);
  if (keepModified) setModified(true);
}

void TDBEdit::EditingChange() {
  QLineEdit::setReadOnly(!link_->Editing());
}

void TDBEdit::ActiveChange() {
  ResetMaxLength();
  DataChange();
}

void TDBEdit::UpdateData() {
  kdx::TField* field = link_->Field();
  bool lossless = true;
  const std::string bytes = ToCp(text(), &lossless);
  if (!lossless)
    throw kdx::EDatabaseError(
        kdx::FormatMessage("Invalid value for field '%s'", field->DisplayName()));
  field->SetEditText(bytes);
}

void TDBEdit::FocusRequest() {
  if (isVisible() && isEnabled() && focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
}

bool TDBEdit::AcceptText(const QString& text) {
  bool ok = IsCp1250(text);
  if (ok) {
    if (kdx::TField* field = link_->Field()) {
      for (char c : ToCp(text))
        if (!field->IsValidChar(c)) ok = false;
    }
  }
  if (!ok) QApplication::beep();
  return ok;
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
    link_->Reset();
    selectAll();
    event->accept();
    return;
  }

  bool beginEdit = false;
  if (event->matches(QKeySequence::Paste)) {
    if (!AcceptText(QApplication::clipboard()->text())) {
      event->accept();
      return;
    }
    beginEdit = true;
  } else if (event->matches(QKeySequence::Cut)) {
    beginEdit = true;
  } else if ((key == Qt::Key_Backspace || key == Qt::Key_Delete) &&
             !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
    beginEdit = true;
  } else if (IsPrintable(event->text()) && !(mods & Qt::MetaModifier) &&
             // Ctrl+Alt is AltGr on Windows keyboards (the '@' of Czech layouts).
             (!(mods & Qt::ControlModifier) || (mods & Qt::AltModifier))) {
    if (!AcceptText(event->text())) {
      event->accept();
      return;
    }
    beginEdit = true;
  }

  if (beginEdit && !link_->Edit()) {
    // Not editable now (table closed, field read-only): the key has no effect.
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TDBEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) {
    if (!AcceptText(event->commitString()) || !link_->Edit()) {
      event->accept();
      return;
    }
  }
  QLineEdit::inputMethodEvent(event);
}

void TDBEdit::PasteText() {
  if (!AcceptText(QApplication::clipboard()->text()) || !link_->Edit()) return;
  paste();
}

void TDBEdit::CutText() {
  if (link_->Edit()) cut();
}

void TDBEdit::UndoText() {
  if (link_->Edit()) undo();
}

void TDBEdit::DeleteText() {
  if (link_->Edit()) del();
}

void TDBEdit::contextMenuEvent(QContextMenuEvent* event) {
  const bool canEdit = link_->CanModify();
  const bool selected = hasSelectedText();
  QMenu menu(this);
  // The line edit's own texts, which the toolkit's translation for the user's language knows.
  menu.addAction(QLineEdit::tr("&Undo"), this, &TDBEdit::UndoText)
      ->setEnabled(canEdit && isUndoAvailable());
  menu.addSeparator();
  menu.addAction(QLineEdit::tr("Cu&t"), this, &TDBEdit::CutText)->setEnabled(canEdit && selected);
  menu.addAction(QLineEdit::tr("&Copy"), this, &QLineEdit::copy)->setEnabled(selected);
  menu.addAction(QLineEdit::tr("&Paste"), this, &TDBEdit::PasteText)
      ->setEnabled(canEdit && !QApplication::clipboard()->text().isEmpty());
  menu.addAction(QLineEdit::tr("Delete"), this, &TDBEdit::DeleteText)
      ->setEnabled(canEdit && selected);
  menu.addSeparator();
  menu.addAction(QLineEdit::tr("Select All"), this, &QLineEdit::selectAll)
      ->setEnabled(!text().isEmpty());
  menu.exec(event->globalPos());
}

void TDBEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (!focused_) {
    focused_ = true;
    link_->Reset();
  }
}

void TDBEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
    return;  // a menu or another window took the focus for a moment
  try {
    link_->UpdateRecord();
  } catch (...) {
    selectAll();
    setFocus(Qt::OtherFocusReason);
    throw;
  }
  if (focused_) {
    focused_ = false;
    link_->Reset();
  }
}

}  // namespace kdx::widgets
