#pragma once
// What the tests of the bound controls share: the program's export table with a data source on
// it, and a window that lays out the controls under test above a free edit box, shown and active.

#include <QApplication>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>
#include <initializer_list>
#include <memory>

#include "kdx/binding/DataSource.h"
#include "kdx/memtable/Schemas.h"

namespace kdx::widgets::test {

class BoundControlsTest : public QObject {
 protected:
  // The export table, open and empty, with a data source on it.
  void CreateTable() {
    table_ = CreateExportTable();
    table_->OpenTable();
    source_ = std::make_unique<TDataSource>(table_.get());
  }

  // A new window, the parent of the controls under test.
  QWidget* NewWindow() {
    window_ = std::make_unique<QWidget>();
    return window_.get();
  }

  // Lays out `controls` one below the other with a free edit box (other_, last in the focus
  // chain) under them, then shows the window and makes it the active one.
  void ShowWindow(std::initializer_list<QWidget*> controls) {
    auto* layout = new QVBoxLayout(window_.get());
    other_ = new QLineEdit(window_.get());
    for (QWidget* w : controls) layout->addWidget(w);
    layout->addWidget(other_);
    window_->show();
    QApplication::setActiveWindow(window_.get());
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }

  // The window first (its controls let go of the source), then the source, then the table.
  void DestroyAll() {
    window_.reset();
    source_.reset();
    table_.reset();
  }

  std::unique_ptr<TMemTable> table_;
  std::unique_ptr<TDataSource> source_;
  std::unique_ptr<QWidget> window_;
  QLineEdit* other_ = nullptr;
};

}  // namespace kdx::widgets::test
