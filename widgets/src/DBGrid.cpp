#include "kdx/widgets/DBGrid.h"

#include <QAbstractTableModel>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <optional>

#include "kdx/binding/DataSource.h"
#include "kdx/widgets/MessageBox.h"
#include "kdx/widgets/QtText.h"

namespace kdx::widgets {

// The grid's rows and cells, read through the grid link. The model is reset on every
// notification: the tables hold a handful of records and the view reads only visible rows.
class TDBGridModel : public QAbstractTableModel {
 public:
  TDBGridModel(kdx::TGridDataLink& link, QObject* parent)
      : QAbstractTableModel(parent), link_(link) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : link_.RowCount();
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : link_.ColumnCount();
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return FromCp(link_.CellText(index.row(), index.column()));
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal) return {};
    switch (role) {
      case Qt::DisplayRole:
        return section < titles.size() ? titles[section]
                                       : QString::fromStdString(link_.ColumnName(section));
      case Qt::FontRole:
        return titleFont ? QVariant(*titleFont) : QVariant();
      case Qt::ForegroundRole:
        return titleColor ? QVariant(*titleColor) : QVariant();
      case Qt::TextAlignmentRole:
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
      default:
        return {};
    }
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

  QStringList titles;
  std::optional<QFont> titleFont;
  std::optional<QColor> titleColor;

 private:
  kdx::TGridDataLink& link_;
};

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), link_(new kdx::TGridDataLink) {
  model_ = new TDBGridModel(*link_, this);
  setModel(model_);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);

  auto refresh = [this] { Refresh(); };
  link_->OnActiveChange = refresh;
  link_->OnDataSetChanged = refresh;
  link_->OnEditingChange = refresh;
  link_->OnLayoutChange = refresh;
  link_->OnScrolled = [this](int) { Refresh(); };
  link_->OnRecordChanged = [this](kdx::TField*) { Refresh(); };

  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &TDBGrid::ScrollBarAction);

  SetOptions({dgTitles, dgColLines, dgRowLines, dgTabs, dgRowSelect, dgAlwaysShowSelection,
              dgConfirmDelete, dgCancelOnExit});
}

TDBGrid::~TDBGrid() {
  link_->OnActiveChange = nullptr;
  link_->OnDataSetChanged = nullptr;
  link_->OnEditingChange = nullptr;
  link_->OnLayoutChange = nullptr;
  link_->OnScrolled = nullptr;
  link_->OnRecordChanged = nullptr;
}

void TDBGrid::SetOptions(TDBGridOptions options) {
  if (options.Contains(dgRowSelect)) {
    options.Exclude(dgEditing);
    options.Exclude(dgAlwaysShowEditor);
  }
  options_ = options;
  horizontalHeader()->setVisible(options.Contains(dgTitles));
  verticalHeader()->setVisible(options.Contains(dgIndicator));
  setShowGrid(options.Contains(dgColLines) || options.Contains(dgRowLines));
  setSelectionBehavior(options.Contains(dgRowSelect) ? QAbstractItemView::SelectRows
                                                     : QAbstractItemView::SelectItems);
  const bool resizable = options.Contains(dgColumnResize);
  horizontalHeader()->setSectionsMovable(resizable);
  horizontalHeader()->setSectionResizeMode(resizable ? QHeaderView::Interactive
                                                     : QHeaderView::Fixed);
  horizontalHeader()->setStretchLastSection(!resizable);

  QPalette pal = palette();
  if (options.Contains(dgAlwaysShowSelection)) {
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
  } else {
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Inactive, QPalette::Base));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Inactive, QPalette::Text));
  }
  setPalette(pal);
}

void TDBGrid::SetColumns(const QStringList& fieldNames, const QStringList& titles) {
  model_->titles = titles;
  std::vector<std::string> names;
  for (const QString& name : fieldNames) names.push_back(name.toStdString());
  link_->SetColumns(std::move(names));
  Refresh();
  if (options_.Contains(dgColumnResize) && model_->columnCount() > 0)
    setColumnWidth(model_->columnCount() - 1, viewport()->width());
}

void TDBGrid::SetTitleFont(const QFont& font) {
  model_->titleFont = font;
  model_->headerDataChanged(Qt::Horizontal, 0, std::max(0, model_->columnCount() - 1));
}

void TDBGrid::SetTitleColor(const QColor& color) {
  model_->titleColor = color;
  model_->headerDataChanged(Qt::Horizontal, 0, std::max(0, model_->columnCount() - 1));
}

void TDBGrid::Refresh() {
  model_->Reset();
  SyncSelection();
}

void TDBGrid::SyncSelection() {
  const int row = link_->CurrentRow();
  syncing_ = true;
  if (row >= 0 && row < model_->rowCount()) {
    const QModelIndex index = model_->index(row, 0);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
  } else {
    selectionModel()->clearSelection();
  }
  syncing_ = false;
}

int TDBGrid::VisibleRowCount() const {
  const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
  return std::max(1, viewport()->height() / rowHeight);
}

int TDBGrid::FirstVisibleRow() const {
  const int row = rowAt(0);
  return row < 0 ? 0 : row;
}

int TDBGrid::LastVisibleRow() const {
  // The last row shown whole (a row cut by the bottom edge does not count).
  return std::min(FirstVisibleRow() + VisibleRowCount(), model_->rowCount()) - 1;
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const bool ctrl = mods & Qt::ControlModifier;
  if (mods & (Qt::AltModifier | Qt::MetaModifier)) {
    event->ignore();
    return;
  }
  switch (event->key()) {
    case Qt::Key_Up:
      if (ctrl)
        link_->MoveToRow(FirstVisibleRow());
      else
        link_->StepBack();
      break;
    case Qt::Key_Left:
      if (!ctrl) link_->StepBack();
      break;
    case Qt::Key_Down:
      if (ctrl)
        link_->MoveToRow(LastVisibleRow());
      else
        link_->StepForward();
      break;
    case Qt::Key_Right:
      if (!ctrl) link_->StepForward();
      break;
    case Qt::Key_Home:
      link_->MoveToFirst();
      break;
    case Qt::Key_End:
      link_->MoveToLast();
      break;
    case Qt::Key_PageUp:
      if (ctrl)
        link_->MoveToRow(FirstVisibleRow());
      else
        link_->MoveRows(-VisibleRowCount());
      break;
    case Qt::Key_PageDown:
      if (ctrl)
        link_->MoveToRow(LastVisibleRow());
      else
        link_->MoveRows(VisibleRowCount());
      break;
    case Qt::Key_Escape: {
      kdx::TMemTable* table = link_->DataSet();
      const bool pending =
          link_->Active() && table && (table->State() == dsEdit || table->State() == dsInsert);
      if (!pending) {
        event->ignore();  // nothing to abandon: the dialog's cancel button may have it
        return;
      }
      link_->CancelEdit();
      break;
    }
    case Qt::Key_Delete:
      if (ctrl) ConfirmDelete();
      break;
    case Qt::Key_Insert:
    case Qt::Key_F2:
      break;  // these grids never edit or add records
    default:
      event->ignore();
      return;
  }
  event->accept();
}

void TDBGrid::ConfirmDelete() {
  if (!link_->CanDelete()) return;
  if (options_.Contains(dgConfirmDelete) &&
      ShowMessage(this, QStringLiteral("Delete record?"), QStringLiteral("Confirm"),
                  MsgIcon::Question, MsgButtons::OkCancel) != MsgResult::Ok)
    return;
  link_->DeleteCurrent();
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
  event->accept();
  // Taking the focus first lets a bound edit box write its text before the move settles it.
  // In a window that is not active (yet) the grid becomes the window's focus widget without
  // having the focus; the move still happens, and settling writes the edit box's text. Only a
  // control that took the focus back (its text was refused) stops it. Any button moves.
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  if (focusPolicy() != Qt::NoFocus && !hasFocus() && window()->focusWidget() != this) return;
  const int row = rowAt(event->position().toPoint().y());
  if (row >= 0) link_->MoveToRow(row);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  mousePressEvent(event);
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
}

bool TDBGrid::edit(const QModelIndex&, EditTrigger, QEvent*) {
  return false;
}

void TDBGrid::focusOutEvent(QFocusEvent* event) {
  QTableView::focusOutEvent(event);
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
    return;
  if (!options_.Contains(dgCancelOnExit)) return;
  try {
    link_->CancelOnExit();
  } catch (...) {
    setFocus(Qt::OtherFocusReason);
    throw;
  }
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  link_->SetBufferCount(VisibleRowCount());
}

void TDBGrid::ScrollBarAction(int action) {
  if (syncing_ || !link_->Active()) return;
  QScrollBar* bar = verticalScrollBar();
  const int rows = model_->rowCount();
  if (rows == 0) return;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      link_->MoveToRow(std::min(LastVisibleRow() + 1, rows - 1));
      break;
    case QAbstractSlider::SliderSingleStepSub:
      link_->MoveToRow(std::max(FirstVisibleRow() - 1, 0));
      break;
    case QAbstractSlider::SliderPageStepAdd:
      link_->MoveRows(VisibleRowCount());
      break;
    case QAbstractSlider::SliderPageStepSub:
      link_->MoveRows(-VisibleRowCount());
      break;
    case QAbstractSlider::SliderToMinimum:
      link_->MoveToFirst();
      break;
    case QAbstractSlider::SliderToMaximum:
      link_->MoveToLast();
      break;
    case QAbstractSlider::SliderMove: {
      // The thumb stands for a record: its share of the bar's range picks the record.
      const int range = bar->maximum() - bar->minimum();
      const int pos = bar->sliderPosition() - bar->minimum();
      const int row =
          range > 0 ? static_cast<int>((static_cast<long long>(pos) * (rows - 1)) / range) : 0;
      link_->MoveToRow(row);
      return;  // the thumb stays where the user holds it
    }
    default:
      return;
  }
  // Keep the view where the move left it instead of scrolling once more.
  bar->setSliderPosition(bar->value());
}

}  // namespace kdx::widgets
