// The bound edit box, text label and check box under the keyboard and the mouse.

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

#include "kdx/binding/DataSource.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"
#include "kdx/widgets/DBCheckBox.h"
#include "kdx/widgets/DBEdit.h"
#include "kdx/widgets/DBText.h"

using namespace kdx;
using namespace kdx::widgets;

namespace {

std::string C(const char* utf8) {
  return text::Utf8ToCp1250(utf8);
}

// Like the program's application: an exception escaping an event handler is caught and kept
// (the program shows it in its general error box).
class CatchingApp : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      errors << QString::fromUtf8(e.what());
      return false;
    }
  }
  QStringList errors;
};

CatchingApp* App() {
  return static_cast<CatchingApp*>(qApp);
}

}  // namespace

class DBControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void editIsReadOnlyUntilTypingBeginsEditing();
  void editLengthComesFromTheField();
  void editKeysThatBeginEditing();
  void editRefusesCharactersCp1250CannotHold();
  void editEscResetsButKeepsTheTableEditing();
  void editLeavingWritesWithoutPosting();
  void editFailedWriteKeepsTheFocus();
  void editDoesNothingWhenTheTableCannotEdit();
  void textFollowsTheCurrentRecord();
  void checkBoxNullIsGrayedAndClickNeedsEditing();
  void checkBoxKeys();

 private:
  // Types `text` character by character (any Unicode character, unlike QTest::keyClicks).
  void Type(QWidget* w, const QString& text) {
    for (QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(w, &press);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(w, &release);
    }
  }
  void ClickBox() { QTest::mouseClick(show_, Qt::LeftButton, {}, QPoint(6, show_->height() / 2)); }
  void Focus(QWidget* w) {
    w->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
  }

  std::unique_ptr<TMemTable> table_;
  std::unique_ptr<TDataSource> source_;
  std::unique_ptr<QWidget> window_;
  TDBEdit* name_ = nullptr;
  TDBEdit* email_ = nullptr;
  TDBText* info_ = nullptr;
  TDBCheckBox* show_ = nullptr;
  QLineEdit* other_ = nullptr;
};

void DBControlsTest::init() {
  App()->errors.clear();
  table_ = CreateExportTable();
  table_->OpenTable();
  const char* names[] = {"Pobočka Brno", "Sklad & sklep"};
  for (const char* name : names) {
    table_->AppendRecord();
    table_->FieldByName("Nazev")->SetAsString(C(name));
    table_->FieldByName("InfoText")->SetAsString(C(name));
    table_->PostRecord();
  }
  table_->First();
  source_ = std::make_unique<TDataSource>(table_.get());

  window_ = std::make_unique<QWidget>();
  auto* layout = new QVBoxLayout(window_.get());
  name_ = new TDBEdit(window_.get());
  email_ = new TDBEdit(window_.get());
  info_ = new TDBText(window_.get());
  show_ = new TDBCheckBox(QStringLiteral("Zobrazit"), window_.get());
  other_ = new QLineEdit(window_.get());
  for (QWidget* w : std::initializer_list<QWidget*>{name_, email_, info_, show_, other_})
    layout->addWidget(w);
  name_->SetDataSource(source_.get());
  name_->SetDataField(QStringLiteral("Nazev"));
  email_->SetDataSource(source_.get());
  email_->SetDataField(QStringLiteral("Email"));
  info_->SetDataSource(source_.get());
  info_->SetDataField(QStringLiteral("InfoText"));
  show_->SetDataSource(source_.get());
  show_->SetDataField(QStringLiteral("EmailShow"));
  window_->show();
  QApplication::setActiveWindow(window_.get());
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  Focus(other_);
}

void DBControlsTest::cleanup() {
  window_.reset();
  source_.reset();
  table_.reset();
}

void DBControlsTest::editIsReadOnlyUntilTypingBeginsEditing() {
  QCOMPARE(name_->text(), QStringLiteral("Pobočka Brno"));
  QVERIFY(name_->isReadOnly());
  Focus(name_);
  QVERIFY(name_->isReadOnly());  // entering does not start editing
  QCOMPARE(table_->State(), dsBrowse);

  name_->end(false);
  Type(name_, QStringLiteral("x"));
  QCOMPARE(table_->State(), dsEdit);
  QVERIFY(!name_->isReadOnly());
  QCOMPARE(name_->text(), QStringLiteral("Pobočka Brnox"));
  QVERIFY(name_->DataLink().IsModified());
  // Typed text stays in the box until it is written.
  QCOMPARE(table_->FieldByName("Nazev")->AsString(), C("Pobočka Brno"));

  // Posting (e.g. by a move) makes the boxes read-only again.
  table_->Next();
  QCOMPARE(table_->DisplayTextAt(1, *table_->FieldByName("Nazev")), C("Pobočka Brnox"));
  QVERIFY(name_->isReadOnly());
  QCOMPARE(name_->text(), QStringLiteral("Sklad & sklep"));
}

void DBControlsTest::editLengthComesFromTheField() {
  QCOMPARE(name_->maxLength(), 100);
  QCOMPARE(email_->maxLength(), 50);
  Focus(email_);
  Type(email_, QString(60, QLatin1Char('a')));
  QCOMPARE(email_->text().size(), 50);

  // Rebinding to another field takes that field's size; an explicit length stays.
  email_->SetDataField(QStringLiteral("InfoText"));
  QCOMPARE(email_->maxLength(), 255);
  email_->SetMaxLength(20);
  email_->SetDataField(QStringLiteral("Nazev"));
  QCOMPARE(email_->maxLength(), 20);
}

void DBControlsTest::editKeysThatBeginEditing() {
  struct Case {
    const char* what;
    std::function<void()> press;
    QString expected;
  };
  const std::vector<Case> cases = {
      {"Backspace", [&] { QTest::keyClick(name_, Qt::Key_Backspace); }, "Pobočka Brn"},
      {"Delete",
       [&] {
         name_->home(false);
         QTest::keyClick(name_, Qt::Key_Delete);
       },
       "obočka Brno"},
      {"Ctrl+V", [&] { QTest::keyClick(name_, Qt::Key_V, Qt::ControlModifier); }, "Pobočka Brnoř"},
      {"Shift+Insert", [&] { QTest::keyClick(name_, Qt::Key_Insert, Qt::ShiftModifier); },
       "Pobočka Brnoř"},
      {"Ctrl+X",
       [&] {
         name_->selectAll();
         QTest::keyClick(name_, Qt::Key_X, Qt::ControlModifier);
       },
       ""},
      {"paste command", [&] { name_->PasteText(); }, "Pobočka Brnoř"},
      {"cut command",
       [&] {
         name_->selectAll();
         name_->CutText();
       },
       ""},
  };
  for (const Case& c : cases) {
    table_->CancelRecord();
    QApplication::clipboard()->setText(QStringLiteral("ř"));
    Focus(name_);
    name_->end(false);
    QVERIFY2(name_->isReadOnly(), c.what);
    c.press();
    QVERIFY2(table_->State() == dsEdit, c.what);
    QCOMPARE(name_->text(), c.expected);
    QVERIFY2(name_->DataLink().IsModified(), c.what);
    Focus(other_);
  }
  // Undo begins editing too and takes the last change back.
  table_->CancelRecord();
  Focus(name_);
  name_->end(false);
  Type(name_, QStringLiteral("yz"));
  name_->UndoText();
  QCOMPARE(name_->text(), QStringLiteral("Pobočka Brno"));

  // AltGr (Ctrl+Alt on Windows) types characters such as '@'.
  table_->CancelRecord();
  name_->end(false);
  QTest::keyClick(name_, Qt::Key_At, Qt::ControlModifier | Qt::AltModifier);
  QCOMPARE(table_->State(), dsEdit);
  QVERIFY(name_->text().endsWith(QLatin1Char('@')));

  // Keys that change nothing do not begin editing.
  table_->CancelRecord();
  QTest::keyClick(name_, Qt::Key_Left);
  QTest::keyClick(name_, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(table_->State(), dsBrowse);
}

void DBControlsTest::editRefusesCharactersCp1250CannotHold() {
  Focus(name_);
  name_->end(false);
  Type(name_, QStringLiteral("ж"));  // Cyrillic: no cp1250 byte
  QCOMPARE(table_->State(), dsBrowse);
  QCOMPARE(name_->text(), QStringLiteral("Pobočka Brno"));

  QApplication::clipboard()->setText(QStringLiteral("ok ж"));
  QTest::keyClick(name_, Qt::Key_V, Qt::ControlModifier);
  name_->PasteText();
  QCOMPARE(name_->text(), QStringLiteral("Pobočka Brno"));
  QCOMPARE(table_->State(), dsBrowse);

  // Czech letters and the euro sign are cp1250 and go in as single bytes.
  Type(name_, QStringLiteral(" ŠŤŽ €"));
  Focus(other_);
  QCOMPARE(table_->FieldByName("Nazev")->AsString(), C("Pobočka Brno ŠŤŽ €"));
}

void DBControlsTest::editEscResetsButKeepsTheTableEditing() {
  Focus(name_);
  name_->end(false);
  Type(name_, QStringLiteral(" zahodit"));
  QTest::keyClick(name_, Qt::Key_Escape);
  QCOMPARE(name_->text(), QStringLiteral("Pobočka Brno"));
  QCOMPARE(name_->selectedText(), QStringLiteral("Pobočka Brno"));
  QCOMPARE(table_->State(), dsEdit);
  QVERIFY(!name_->DataLink().IsModified());
  // Nothing was changed: the move cancels the edit.
  Focus(other_);
  table_->Next();
  table_->First();
  QCOMPARE(table_->FieldByName("Nazev")->AsString(), C("Pobočka Brno"));
}

void DBControlsTest::editLeavingWritesWithoutPosting() {
  Focus(name_);
  name_->selectAll();
  Type(name_, QStringLiteral("Nový název"));
  Focus(email_);
  QCOMPARE(table_->FieldByName("Nazev")->AsString(), C("Nový název"));
  QCOMPARE(table_->State(), dsEdit);
  // The stored record is unchanged until something posts it.
  QCOMPARE(table_->DisplayTextAt(1, *table_->FieldByName("Nazev")), C("Pobočka Brno"));
  table_->PostRecord();
  QCOMPARE(table_->DisplayTextAt(1, *table_->FieldByName("Nazev")), C("Nový název"));
}

void DBControlsTest::editFailedWriteKeepsTheFocus() {
  // A truth field refuses texts other than True/False: the write fails on leaving.
  email_->SetDataField(QStringLiteral("EmailShow"));
  Focus(email_);
  Type(email_, QStringLiteral("snad"));
  Focus(other_);
  QCOMPARE(App()->errors, QStringList{QStringLiteral("Invalid value for field 'EmailShow'")});
  QVERIFY(email_->hasFocus());
  QCOMPARE(email_->selectedText(), QStringLiteral("snad"));
  QVERIFY(table_->FieldByName("EmailShow")->IsNull());
}

void DBControlsTest::editDoesNothingWhenTheTableCannotEdit() {
  table_->FieldByName("Nazev")->SetReadOnly(true);
  name_->SetDataField(QString());
  name_->SetDataField(QStringLiteral("Nazev"));
  Focus(name_);
  Type(name_, QStringLiteral("x"));
  QTest::keyClick(name_, Qt::Key_Backspace);
  QCOMPARE(name_->text(), QStringLiteral("Pobočka Brno"));
  QCOMPARE(table_->State(), dsBrowse);

  table_->CloseTable();
  QCOMPARE(name_->text(), QString());
  QVERIFY(name_->isReadOnly());
  Focus(email_);
  Type(email_, QStringLiteral("x"));
  QCOMPARE(email_->text(), QString());
  QCOMPARE(show_->checkState(), Qt::Unchecked);
  QCOMPARE(info_->text(), QString());
}

void DBControlsTest::textFollowsTheCurrentRecord() {
  QCOMPARE(info_->text(), QStringLiteral("Pobočka Brno"));
  table_->Next();
  QCOMPARE(info_->text(), QStringLiteral("Sklad & sklep"));  // "&" shown as it is
  QCOMPARE(info_->textFormat(), Qt::PlainText);
  table_->EditRecord();
  table_->FieldByName("InfoText")->SetAsString(C("jiný"));
  QCOMPARE(info_->text(), QStringLiteral("jiný"));
  // A destroyed data source leaves the label empty.
  source_.reset();
  QCOMPARE(info_->text(), QString());
  QCOMPARE(name_->text(), QString());
}

void DBControlsTest::checkBoxNullIsGrayedAndClickNeedsEditing() {
  QCOMPARE(show_->checkState(), Qt::PartiallyChecked);  // EmailShow is null

  source_->SetAutoEdit(false);
  ClickBox();
  QCOMPARE(show_->checkState(), Qt::PartiallyChecked);
  QCOMPARE(table_->State(), dsBrowse);

  source_->SetAutoEdit(true);
  ClickBox();
  QCOMPARE(show_->checkState(), Qt::Checked);
  QCOMPARE(table_->State(), dsEdit);
  ClickBox();
  QCOMPARE(show_->checkState(), Qt::Unchecked);
  ClickBox();
  QCOMPARE(show_->checkState(), Qt::Checked);
  QVERIFY(table_->FieldByName("EmailShow")->IsNull());  // not written yet
  Focus(other_);
  QVERIFY(table_->FieldByName("EmailShow")->AsBoolean());
  table_->PostRecord();
  QCOMPARE(table_->DisplayTextAt(1, *table_->FieldByName("EmailShow")), std::string("True"));

  // A string field is compared with ValueChecked / ValueUnchecked, ignoring case.
  show_->SetValueChecked(QStringLiteral("ano;yes"));
  show_->SetValueUnchecked(QStringLiteral("ne"));
  show_->SetDataField(QStringLiteral("Email"));
  table_->EditRecord();
  table_->FieldByName("Email")->SetAsString("YES");
  QCOMPARE(show_->checkState(), Qt::Checked);
  table_->FieldByName("Email")->SetAsString("ne");
  QCOMPARE(show_->checkState(), Qt::Unchecked);
  table_->FieldByName("Email")->SetAsString("nevim");
  QCOMPARE(show_->checkState(), Qt::PartiallyChecked);
  ClickBox();
  Focus(other_);
  QCOMPARE(table_->FieldByName("Email")->AsString(), std::string("ano"));
}

void DBControlsTest::checkBoxKeys() {
  table_->EditRecord();
  table_->FieldByName("EmailShow")->SetAsBoolean(false);
  table_->PostRecord();
  Focus(show_);
  QTest::keyClick(show_, Qt::Key_Backspace);
  QCOMPARE(table_->State(), dsEdit);
  QCOMPARE(show_->checkState(), Qt::Unchecked);
  table_->CancelRecord();

  QTest::keyClick(show_, Qt::Key_Space);
  QCOMPARE(table_->State(), dsEdit);
  QCOMPARE(show_->checkState(), Qt::Checked);

  QTest::keyClick(show_, Qt::Key_Escape);
  QCOMPARE(show_->checkState(), Qt::Unchecked);
  Focus(other_);
  table_->PostRecord();
  QVERIFY(!table_->FieldByName("EmailShow")->AsBoolean());
}

int main(int argc, char** argv) {
  CatchingApp app(argc, argv);
  DBControlsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "dbcontrols_test.moc"
