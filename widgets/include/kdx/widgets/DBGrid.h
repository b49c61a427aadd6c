#pragma once
// TDBGrid: a list of the records of a table, one column per bound field, the selected row being
// the table's current record. The movement rules are TGridDataLink's; this class maps keys,
// mouse presses and the vertical scroll bar onto them.
//
// With dgRowSelect (always set here) the whole row is selected and nothing is edited in place;
// Tab and Shift+Tab move the focus on. Keys: Up/Left and Down/Right step (an unchanged new
// record is abandoned instead, see TGridDataLink), Home/End first/last, Page Up/Down by the
// visible rows, Ctrl+Up/Ctrl+Page Up and Ctrl+Down/Ctrl+Page Down to the first and last visible
// row, Ctrl+Home/Ctrl+End first/last, Esc abandons a pending edit or insert (and is left to the
// dialog when nothing is pending), Ctrl+Delete deletes after the "Confirm" box (dgConfirmDelete).
// Insert, F2 and Delete do nothing. A press of any mouse button takes the focus first (so a
// bound edit box writes its text), then moves to the pressed row, also in a window that is not
// active yet. With dgCancelOnExit, leaving the grid
// abandons an unchanged new record.

#include <QTableView>
#include <memory>

#include "kdx/binding/DataLink.h"
#include "kdx/memtable/Sets.h"

namespace kdx::widgets {

enum TDBGridOption {
  dgEditing,
  dgAlwaysShowEditor,
  dgTitles,
  dgIndicator,
  dgColumnResize,
  dgColLines,
  dgRowLines,
  dgTabs,
  dgRowSelect,
  dgAlwaysShowSelection,
  dgConfirmDelete,
  dgCancelOnExit,
  dgMultiSelect,
};
using TDBGridOptions = kdx::TSet<TDBGridOption>;

class TDBGridModel;

class TDBGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TDBGrid(QWidget* parent = nullptr);
  ~TDBGrid() override;

  kdx::TDataSource* DataSource() const { return link_->DataSource(); }
  void SetDataSource(kdx::TDataSource* source) { link_->SetDataSource(source); }
  bool ReadOnly() const { return link_->ReadOnly(); }
  void SetReadOnly(bool readOnly) { link_->SetReadOnly(readOnly); }

  // Assigning a set with dgRowSelect removes dgEditing and dgAlwaysShowEditor from it.
  TDBGridOptions Options() const { return options_; }
  void SetOptions(TDBGridOptions options);

  // Replaces the columns: one per field name, with its title.
  void SetColumns(const QStringList& fieldNames, const QStringList& titles = {});
  // The title row's font and colour.
  void SetTitleFont(const QFont& font);
  void SetTitleColor(const QColor& color);

  kdx::TGridDataLink& DataLink() { return *link_; }
  // Data rows that fit into the grid (at least 1).
  int VisibleRowCount() const;
  // The grid's row of the current record, -1 without one.
  int CurrentRow() const { return link_->CurrentRow(); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  void Refresh();
  void SyncSelection();
  void ScrollBarAction(int action);
  void ConfirmDelete();
  int FirstVisibleRow() const;
  int LastVisibleRow() const;

  std::unique_ptr<kdx::TGridDataLink> link_;
  TDBGridModel* model_ = nullptr;
  TDBGridOptions options_;
  bool syncing_ = false;
};

}  // namespace kdx::widgets
