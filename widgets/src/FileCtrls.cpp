#include "kdx/widgets/FileCtrls.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <exception>

#include "DirDlgGlyphs.h"
#include "kdx/picker/PathFit.h"
#include "kdx/platform/Errors.h"

namespace kdx::widgets {

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kIndentRole = Qt::UserRole + 1;

// Throws `error` again from a queued call, outside the event code that caught it, so that the
// application's error handler (its notify override) reports it.
void RethrowLater(std::exception_ptr error) {
  QMetaObject::invokeMethod(
      qApp, [error] { std::rethrow_exception(error); }, Qt::QueuedConnection);
}

// Draws a directory item: its glyph at its indent, vertically centred; the text 4 pixels right
// of the glyph at the row's top.
class DirItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
    const auto kind = static_cast<picker::DirItemKind>(index.data(kKindRole).toInt());
    const QPixmap& glyph = glyphs::Folder(kind);
    const int x = option.rect.left() + index.data(kIndentRole).toInt();
    painter->drawPixmap(x, option.rect.top() + (option.rect.height() - glyph.height()) / 2, glyph);
    painter->setPen(selected ? option.palette.highlightedText().color()
                             : option.palette.text().color());
    painter->setFont(option.font);
    const QRect textRect(x + glyph.width() + 4, option.rect.top(),
                         option.rect.right() - (x + glyph.width() + 4), option.rect.height());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    if (option.state & QStyle::State_HasFocus) {
      painter->setPen(
          QPen(selected ? option.palette.highlightedText().color() : option.palette.text().color(),
               1, Qt::DotLine));
      painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int glyphHeight = glyphs::Folder(picker::DirItemKind::OpenFolder).height() + 1;
    const int height = std::max({16, option.fontMetrics.height(), glyphHeight});
    return {QStyledItemDelegate::sizeHint(option, index).width(), height};
  }
};

}  // namespace

QString FromNativePath(const std::string& path) {
  return QString::fromStdString(path);
}

std::string ToNativePath(const QString& path) {
  return path.toStdString();
}

// --- TDirectoryListBox ------------------------------------------------------------------------

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new DirItemDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  logic_.onChange = [this] {
    Fill();
    Announce();
  };
}

void TDirectoryListBox::Open(const std::vector<std::string>& volumeRoots) {
  logic_.SetVolumeRoots(volumeRoots);
  try {
    logic_.Open();
  } catch (const Exception&) {
    // The current directory is gone: start at home, or at the root.
    try {
      platform::SetCurrentDir(ToNativePath(QDir::homePath()));
    } catch (const Exception&) {
      platform::SetCurrentDir(ToNativePath(QDir::rootPath()));
    }
    logic_.Open();
  }
  Fill();
  Announce();
}

QString TDirectoryListBox::Directory() const {
  return FromNativePath(logic_.Directory());
}

void TDirectoryListBox::SetDirectory(const QString& path) {
  logic_.SetDirectory(ToNativePath(path));
}

void TDirectoryListBox::OpenItem(int row) {
  if (row < 0 || row >= count()) return;
  try {
    logic_.SetDirectory(logic_.ItemPath(static_cast<size_t>(row)));
  } catch (...) {
    // The folder may have vanished: show what is there now, then report.
    const std::exception_ptr error = std::current_exception();
    logic_.Rebuild();
    Fill();
    RethrowLater(error);
  }
}

void TDirectoryListBox::SetDirLabel(QLabel* label) {
  dirLabel_ = label;
  UpdateLabel();
}

void TDirectoryListBox::SetFileList(TFileListBox* list) {
  fileList_ = list;
  if (fileList_ && !logic_.Directory().empty()) fileList_->SetDirectory(logic_.Directory());
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    OpenItem(currentRow());
    event->accept();  // Enter opens; it never reaches the dialog
    return;
  }
  QListWidget::keyPressEvent(event);
}

void TDirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) OpenItem(index.row());
    event->accept();
    return;
  }
  QListWidget::mouseDoubleClickEvent(event);
}

void TDirectoryListBox::Fill() {
  const QSignalBlocker blocker(this);
  clear();
  const auto& items = logic_.Items();
  for (size_t i = 0; i < items.size(); ++i) {
    QString text = FromNativePath(items[i].text);
    if (logic_.ShowLowerCase()) text = text.toLower();
    auto* item = new QListWidgetItem(text, this);
    item->setData(kKindRole, static_cast<int>(items[i].kind));
    item->setData(kIndentRole, logic_.GlyphIndent(i));
  }
  setCurrentRow(static_cast<int>(logic_.CurrentItemIndex()));
  scrollToItem(currentItem());
}

void TDirectoryListBox::Announce() {
  if (fileList_) fileList_->SetDirectory(logic_.Directory());
  UpdateLabel();
  emit DirectoryChanged();
}

void TDirectoryListBox::UpdateLabel() {
  if (!dirLabel_) return;
  const QFontMetrics metrics(dirLabel_->font());
  // The label sizes itself, so its limit is this list's width.
  const std::string shown =
      picker::FitPathToWidth(logic_.Directory(), width(), [&metrics](const std::string& text) {
        return metrics.horizontalAdvance(FromNativePath(text));
      });
  dirLabel_->setText(FromNativePath(shown));
  dirLabel_->adjustSize();
}

// --- TDriveComboBox ---------------------------------------------------------------------------

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setIconSize(QSize(16, 16));
  logic_.onChange = [this] { ShowSelection(); };
  connect(this, &QComboBox::activated, this, &TDriveComboBox::ChooseItem);
}

void TDriveComboBox::Build() {
  Build(platform::ListVolumes());
}

void TDriveComboBox::Build(const std::vector<platform::VolumeInfo>& volumes) {
  logic_.Build(volumes);
  const QSignalBlocker blocker(this);
  clear();
  for (const picker::DriveItem& item : logic_.Items())
    addItem(QIcon(glyphs::Drive(item.kind)), FromNativePath(item.text));
  ShowSelection();
}

void TDriveComboBox::LinkDirectoryList(TDirectoryListBox* list) {
  logic_.LinkDirectoryList(list ? &list->Logic() : nullptr);
  if (list) logic_.SelectRoot(list->Logic().DriveRoot());
  ShowSelection();
}

void TDriveComboBox::ChooseItem(int index) {
  try {
    logic_.Choose(index);
  } catch (...) {
    ShowSelection();
    RethrowLater(std::current_exception());
    return;
  }
  ShowSelection();
}

void TDriveComboBox::ShowSelection() {
  const QSignalBlocker blocker(this);
  setCurrentIndex(logic_.SelectedIndex());
}

// --- TFileListBox -----------------------------------------------------------------------------

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(16, 16));
  connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const int selectedRow = row(item);
    if (selectedRow != lastSelected_) {
      lastSelected_ = selectedRow;
      emit SelectionChangedByUser();
    }
  });
}

void TFileListBox::SetDirectory(const std::string& dir) {
  directory_ = dir;
  stale_ = true;
  if (isVisible()) Reread();
}

void TFileListBox::SetMask(const QString& mask) {
  mask_ = ToNativePath(mask.isEmpty() ? QStringLiteral("*.*") : mask);
  stale_ = true;
  if (isVisible()) Reread();
}

void TFileListBox::SetAttributes(const picker::FileAttributes& attributes) {
  attributes_ = attributes;
  stale_ = true;
  if (isVisible()) Reread();
}

void TFileListBox::SetShowGlyphs(bool show) {
  showGlyphs_ = show;
  stale_ = true;
  if (isVisible()) Reread();
}

void TFileListBox::Reread() {
  clear();
  lastSelected_ = -1;
  stale_ = false;
  if (directory_.empty()) return;
  const auto items = picker::ReadFileItems(directory_, mask_, attributes_);
  const bool many = items.size() >= 100;
  if (many) QApplication::setOverrideCursor(Qt::WaitCursor);
  for (const picker::FileItem& item : items) {
    auto* entry = new QListWidgetItem(FromNativePath(item.text), this);
    if (showGlyphs_) entry->setIcon(QIcon(glyphs::File(item.glyph)));
  }
  if (many) QApplication::restoreOverrideCursor();
}

void TFileListBox::showEvent(QShowEvent* event) {
  if (stale_) Reread();
  QListWidget::showEvent(event);
}

}  // namespace kdx::widgets
