// The bound grid under the keyboard and the mouse, together with a bound edit box.

#include "kdx/widgets/DBGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

#include "kdx/binding/DataSource.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"
#include "kdx/widgets/DBEdit.h"
#include "kdx/widgets/MessageBox.h"

using namespace kdx;
using namespace kdx::widgets;

namespace {

std::string C(const char* utf8) {
  return text::Utf8ToCp1250(utf8);
}

}  // namespace

class DBGridTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void showsTheFieldWithTitle();
  void arrowHomeEndAndPageKeysMoveTheRecord();
  void ctrlKeysMoveWithinTheVisibleRows();
  void keysNeverAddARecord();
  void unchangedNewRecordRules();
  void ctrlDeleteAsksFirst();
  void clickWritesTheEditBoxThenPostsByTheMove();
  void anyButtonMovesAlsoInAWindowNotYetActive();
  void escAbandonsWhatTheEditBoxesWrote();
  void leavingAbandonsAnUnchangedNewRecord();
  void scrollBarMovesTheRecord();

 private:
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(grid_, static_cast<Qt::Key>(key), mods);
  }
  QString Cell(int row) { return grid_->model()->index(row, 0).data().toString(); }
  int Selected() {
    const auto rows = grid_->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows[0].row() : -1;
  }
  void Fill(int count) {
    table_->CloseTable();
    table_->OpenTable();
    for (int i = 1; i <= count; ++i) {
      table_->AppendRecord();
      table_->FieldByName("Nazev")->SetAsString(C("Definice ") + std::to_string(i));
      table_->PostRecord();
    }
    table_->First();
  }

  std::unique_ptr<TMemTable> table_;
  std::unique_ptr<TDataSource> source_;
  std::unique_ptr<QWidget> window_;
  TDBGrid* grid_ = nullptr;
  TDBEdit* name_ = nullptr;
  QLineEdit* other_ = nullptr;
};

void DBGridTest::init() {
  table_ = CreateExportTable();
  source_ = std::make_unique<TDataSource>(table_.get());
  Fill(3);
  window_ = std::make_unique<QWidget>();
  auto* layout = new QVBoxLayout(window_.get());
  grid_ = new TDBGrid(window_.get());
  grid_->setFixedSize(177, 201);
  name_ = new TDBEdit(window_.get());
  other_ = new QLineEdit(window_.get());
  layout->addWidget(grid_);
  layout->addWidget(name_);
  layout->addWidget(other_);
  grid_->SetDataSource(source_.get());
  grid_->SetColumns({QStringLiteral("Nazev")}, {QStringLiteral("Seznam všech definicí")});
  name_->SetDataSource(source_.get());
  name_->SetDataField(QStringLiteral("Nazev"));
  window_->show();
  QApplication::setActiveWindow(window_.get());
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  grid_->setFocus(Qt::TabFocusReason);
}

void DBGridTest::cleanup() {
  window_.reset();
  source_.reset();
  table_.reset();
}

void DBGridTest::showsTheFieldWithTitle() {
  QCOMPARE(grid_->model()->rowCount(), 3);
  QCOMPARE(grid_->model()->columnCount(), 1);
  QCOMPARE(Cell(2), QStringLiteral("Definice 3"));
  QCOMPARE(grid_->model()->headerData(0, Qt::Horizontal).toString(),
           QStringLiteral("Seznam všech definicí"));
  QVERIFY(grid_->horizontalHeader()->isVisible());
  QVERIFY(!grid_->verticalHeader()->isVisible());
  QCOMPARE(Selected(), 0);

  // Without dgTitles (the main window's list) there is no title row.
  grid_->SetOptions({dgColLines, dgRowLines, dgRowSelect, dgAlwaysShowSelection});
  QVERIFY(grid_->horizontalHeader()->isHidden());
  // dgRowSelect takes editing out of the set.
  grid_->SetOptions({dgEditing, dgAlwaysShowEditor, dgRowSelect});
  QVERIFY(!grid_->Options().Contains(dgEditing));
  QVERIFY(!grid_->Options().Contains(dgAlwaysShowEditor));

  // The selected row keeps its highlight colour without the focus.
  grid_->SetOptions({dgRowSelect, dgAlwaysShowSelection});
  QCOMPARE(grid_->palette().color(QPalette::Inactive, QPalette::Highlight),
           grid_->palette().color(QPalette::Active, QPalette::Highlight));

  // Tab leaves the grid.
  grid_->setFocus();
  QTest::keyClick(grid_, Qt::Key_Tab);
  QVERIFY(!grid_->hasFocus());
}

void DBGridTest::arrowHomeEndAndPageKeysMoveTheRecord() {
  Fill(30);
  const int page = grid_->VisibleRowCount();
  QVERIFY(page > 1 && page < 30);
  Key(Qt::Key_Down);
  QCOMPARE(table_->RecNo(), 2);
  Key(Qt::Key_Right);
  QCOMPARE(table_->RecNo(), 3);
  Key(Qt::Key_Up);
  Key(Qt::Key_Left);
  QCOMPARE(table_->RecNo(), 1);
  Key(Qt::Key_End);
  QCOMPARE(table_->RecNo(), 30);
  QCOMPARE(Selected(), 29);
  Key(Qt::Key_PageUp);
  QCOMPARE(table_->RecNo(), 30 - page);
  Key(Qt::Key_Home);
  QCOMPARE(table_->RecNo(), 1);
  Key(Qt::Key_PageDown);
  QCOMPARE(table_->RecNo(), 1 + page);
  QCOMPARE(Selected(), page);
}

void DBGridTest::ctrlKeysMoveWithinTheVisibleRows() {
  Fill(30);
  const int page = grid_->VisibleRowCount();
  Key(Qt::Key_Down, Qt::ControlModifier);
  QCOMPARE(table_->RecNo(), page);  // the last row shown whole
  Key(Qt::Key_Up, Qt::ControlModifier);
  QCOMPARE(table_->RecNo(), 1);
  Key(Qt::Key_PageDown, Qt::ControlModifier);
  QCOMPARE(table_->RecNo(), page);
  Key(Qt::Key_PageUp, Qt::ControlModifier);
  QCOMPARE(table_->RecNo(), 1);
  Key(Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(table_->RecNo(), 30);
  Key(Qt::Key_Home, Qt::ControlModifier);
  QCOMPARE(table_->RecNo(), 1);
}

void DBGridTest::keysNeverAddARecord() {
  Key(Qt::Key_End);
  for (int key : {Qt::Key_Insert, Qt::Key_F2, Qt::Key_Down, Qt::Key_Delete}) Key(key);
  QCOMPARE(table_->State(), dsBrowse);
  QCOMPARE(table_->RecordCount(), 3);
  QCOMPARE(table_->RecNo(), 3);
}

void DBGridTest::unchangedNewRecordRules() {
  Key(Qt::Key_Down);
  table_->InsertRecord();
  QCOMPARE(grid_->model()->rowCount(), 4);
  QCOMPARE(Selected(), 1);
  Key(Qt::Key_Down);  // abandons the new record instead of moving
  QCOMPARE(table_->State(), dsBrowse);
  QCOMPARE(table_->RecNo(), 2);
  QCOMPARE(grid_->model()->rowCount(), 3);
  QCOMPARE(Selected(), 1);
}

void DBGridTest::ctrlDeleteAsksFirst() {
  Key(Qt::Key_Down);
  {
    ScopedMessageRecorder boxes({MsgResult::Cancel});
    Key(Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(boxes.Requests().size(), size_t(1));
    const MessageRequest& r = boxes.Requests()[0];
    QCOMPARE(r.caption, QStringLiteral("Confirm"));
    QCOMPARE(r.text, QStringLiteral("Delete record?"));
    QCOMPARE(r.icon, MsgIcon::Question);
    QCOMPARE(r.buttons, MsgButtons::OkCancel);
    QCOMPARE(table_->RecordCount(), 3);
  }
  {
    ScopedMessageRecorder boxes({MsgResult::Ok});
    Key(Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(table_->RecordCount(), 2);
    QCOMPARE(Cell(1), QStringLiteral("Definice 3"));  // the following record is current
    QCOMPARE(Selected(), 1);
    QCOMPARE(
        QString::fromStdU16String(text::Cp1250ToUtf16(table_->FieldByName("Nazev")->AsString())),
        QStringLiteral("Definice 3"));
  }
  {
    ScopedMessageRecorder boxes({MsgResult::Ok, MsgResult::Ok, MsgResult::Ok});
    Key(Qt::Key_Delete, Qt::ControlModifier);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(table_->RecordCount(), 0);
    Key(Qt::Key_Delete, Qt::ControlModifier);  // empty: no box at all
    QCOMPARE(boxes.Requests().size(), size_t(2));
  }
  {
    Fill(2);
    grid_->SetReadOnly(true);
    ScopedMessageRecorder boxes({MsgResult::Ok});
    Key(Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(boxes.Requests().empty());
    QCOMPARE(table_->RecordCount(), 2);
  }
}

void DBGridTest::clickWritesTheEditBoxThenPostsByTheMove() {
  name_->setFocus();
  name_->selectAll();
  QTest::keyClicks(name_, QStringLiteral("Prvni upravena"));
  const QRect row2 = grid_->visualRect(grid_->model()->index(2, 0));
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, row2.center());
  QVERIFY(grid_->hasFocus());
  QCOMPARE(table_->State(), dsBrowse);
  QCOMPARE(table_->RecNo(), 3);
  QCOMPARE(Cell(0), QStringLiteral("Prvni upravena"));
  QCOMPARE(Selected(), 2);
  QCOMPARE(name_->text(), QStringLiteral("Definice 3"));

  // A click on the title row moves nothing.
  QTest::mouseClick(grid_->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
  QCOMPARE(table_->RecNo(), 3);
}

void DBGridTest::anyButtonMovesAlsoInAWindowNotYetActive() {
  // Another window is active (or none is, without a window manager): the grid only becomes its
  // window's focus widget, and the press must move all the same.
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  QVERIFY(QTest::qWaitForWindowActive(&other));
  name_->setFocus();
  name_->selectAll();
  QTest::keyClicks(name_, QStringLiteral("Prvni upravena"));
  QVERIFY(!grid_->hasFocus());
  const auto rowCenter = [&](int row) {
    return grid_->visualRect(grid_->model()->index(row, 0)).center();
  };
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, rowCenter(2));
  QCOMPARE(table_->RecNo(), 3);
  QCOMPARE(table_->State(), dsBrowse);
  QCOMPARE(Cell(0), QStringLiteral("Prvni upravena"));  // settled by the move
  QCOMPARE(Selected(), 2);
  QCOMPARE(window_->focusWidget(), static_cast<QWidget*>(grid_));

  // Every button moves, not only the left and the right one.
  QTest::mouseClick(grid_->viewport(), Qt::MiddleButton, {}, rowCenter(1));
  QCOMPARE(table_->RecNo(), 2);
  QTest::mouseClick(grid_->viewport(), Qt::RightButton, {}, rowCenter(0));
  QCOMPARE(table_->RecNo(), 1);
  QTest::mouseClick(grid_->viewport(), Qt::BackButton, {}, rowCenter(2));
  QCOMPARE(table_->RecNo(), 3);
}

void DBGridTest::escAbandonsWhatTheEditBoxesWrote() {
  name_->setFocus();
  name_->selectAll();
  QTest::keyClicks(name_, QStringLiteral("Zahodit"));
  // Back to the grid without moving: the text is already in the field, not posted.
  grid_->setFocus(Qt::BacktabFocusReason);
  QCOMPARE(table_->State(), dsEdit);
  QCOMPARE(table_->FieldByName("Nazev")->AsString(), std::string("Zahodit"));
  Key(Qt::Key_Escape);
  QCOMPARE(table_->State(), dsBrowse);
  QCOMPARE(name_->text(), QStringLiteral("Definice 1"));
  QCOMPARE(Cell(0), QStringLiteral("Definice 1"));

  // With nothing pending, Esc is left to the window (its cancel button).
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(grid_, &esc);
  QVERIFY(!esc.isAccepted());
}

void DBGridTest::leavingAbandonsAnUnchangedNewRecord() {
  table_->InsertRecord();
  other_->setFocus(Qt::TabFocusReason);
  QCOMPARE(table_->State(), dsBrowse);
  QCOMPARE(table_->RecordCount(), 3);

  grid_->setFocus(Qt::TabFocusReason);
  table_->InsertRecord();
  table_->FieldByName("Nazev")->SetAsString("Nova");
  other_->setFocus(Qt::TabFocusReason);
  QCOMPARE(table_->State(), dsInsert);  // changed: kept

  // Without dgCancelOnExit the unchanged record stays as well.
  table_->PostRecord();
  grid_->SetOptions({dgTitles, dgRowSelect});
  grid_->setFocus(Qt::TabFocusReason);
  table_->InsertRecord();
  other_->setFocus(Qt::TabFocusReason);
  QCOMPARE(table_->State(), dsInsert);
}

void DBGridTest::scrollBarMovesTheRecord() {
  Fill(40);
  QScrollBar* bar = grid_->verticalScrollBar();
  QVERIFY(bar->maximum() > 0);
  const int page = grid_->VisibleRowCount();
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  QCOMPARE(table_->RecNo(), 40);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  QCOMPARE(table_->RecNo(), 1);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  QCOMPARE(table_->RecNo(), 1 + page);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QCOMPARE(table_->RecNo(), page + 1);  // just below the last row shown whole
  QCOMPARE(Selected(), table_->RecNo() - 1);
}

QTEST_MAIN(DBGridTest)
#include "dbgrid_test.moc"
