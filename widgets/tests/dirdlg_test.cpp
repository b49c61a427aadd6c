// The folder picker window, driven as a person would: clicks, double clicks and keys on the
// real controls, over a temporary directory tree.

#include "kdx/widgets/DirDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kdx/platform/Files.h"
#include "kdx/widgets/FileCtrls.h"

using namespace kdx::widgets;

namespace {

// Records what escapes an event handler, as the program's own application does with its
// general error box.
class RecordingApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      errors.push_back(error.what());
      return false;
    }
  }
  std::vector<std::string> errors;
};

RecordingApplication* App() {
  return static_cast<RecordingApplication*>(qApp);
}

int RowOf(QListWidget* list, const QString& text) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text() == text) return i;
  return -1;
}

QPoint CentreOf(QListWidget* list, int row) {
  return list->visualItemRect(list->item(row)).center();
}

void Click(QListWidget* list, const QString& text) {
  const int row = RowOf(list, text);
  QVERIFY2(row >= 0, qPrintable(text));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CentreOf(list, row));
}

void DoubleClick(QListWidget* list, const QString& text) {
  const int row = RowOf(list, text);
  QVERIFY2(row >= 0, qPrintable(text));
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(list, row));
}

// Runs PickFolder with `script` acting on the shown window instead of a nested event loop; the
// window's result after the script is the modal result.
bool Pick(TDirectoryDialog& dialog, const std::function<void(TFormDirDialog&)>& script) {
  auto previous = TDirectoryDialog::SetShowHook([&](TFormDirDialog& form) {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return -1;
    script(form);
    QCoreApplication::processEvents();
    return form.result();
  });
  const bool ok = dialog.PickFolder();
  TDirectoryDialog::SetShowHook(previous);
  return ok;
}

}  // namespace

class DirDlgTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> tmp_;
  QString root_;
  std::string savedCwd_;

  QString P(const QString& relative) const { return root_ + "/" + relative; }

 private slots:
  void init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    root_ = QString::fromStdString(std::filesystem::canonical(tmp_->path().toStdString()).string());
    for (const char* d : {"alpha/deep/deeper", "Beta", "gamma", ".hidden"})
      QVERIFY(QDir().mkpath(P(QString::fromLatin1(d))));
    QFile file(P("notes.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    savedCwd_ = kdx::platform::GetCurrentDir();
    kdx::platform::SetCurrentDir(root_.toStdString());
    App()->errors.clear();
  }
  void cleanup() {
    kdx::platform::SetCurrentDir(savedCwd_);
    tmp_.reset();
  }

  void layoutWithoutFileList() {
    TDirectoryDialog dialog;
    Pick(dialog, [](TFormDirDialog& form) {
      QCOMPARE(form.width() + 2 * TFormDirDialog::kFrameWidth, 261);
      QCOMPARE(form.height(), 219);
      QVERIFY(form.FileListBox->isHidden());
      QCOMPARE(form.FileListBox->count(), 0);  // a hidden file list is not filled
      QVERIFY(form.BBHelp->isHidden());
      for (QPushButton* b : {form.BBOk, form.BBCancel, form.BBHelp}) {
        QCOMPARE(b->x(), 165);
        QCOMPARE(b->size(), QSize(81, 26));
        QVERIFY(!b->isDefault() && !b->autoDefault());
      }
      QCOMPARE(form.BBOk->y(), 10);
      QCOMPARE(form.BBCancel->y(), 40);
      QCOMPARE(form.BBHelp->y(), 75);
      QCOMPARE(form.Label1->text(), QString::fromUtf8("Adesář"));
      QCOMPARE(form.Label2->text(), QString::fromUtf8("Jednotky"));
      QCOMPARE(form.BBOk->text(), QString::fromUtf8("OK"));
      QCOMPARE(form.BBCancel->text(), QString::fromUtf8("Zpět"));
      QCOMPARE(form.BBHelp->text(), QString::fromUtf8("Nápověda"));
      QCOMPARE(form.DirectoryListBox->geometry(), QRect(10, 50, 146, 121));
      QCOMPARE(form.DriveComboBox->geometry(), QRect(10, 195, 145, 19));
      QCOMPARE(form.windowTitle(), QString());
      // Every caption fits its control.
      for (QPushButton* b : {form.BBOk, form.BBCancel, form.BBHelp})
        QVERIFY(b->fontMetrics().horizontalAdvance(b->text()) + 8 <= b->width());
      QVERIFY(form.Label2->x() + form.Label2->width() <= form.width());
    });
  }

  void layoutWithFileListAndHelp() {
    TDirectoryDialog dialog;
    dialog.FileListVisible = true;
    dialog.HelpContext = 42;
    dialog.TitleDialog = QString::fromUtf8("Složka pro příjem");
    QSignalSpy help(&dialog, &TDirectoryDialog::HelpRequested);
    Pick(dialog, [&](TFormDirDialog& form) {
      QCOMPARE(form.width() + 2 * TFormDirDialog::kFrameWidth, 418);
      QCOMPARE(form.windowTitle(), QString::fromUtf8("Složka pro příjem"));
      QVERIFY(form.FileListBox->isVisible());
      QCOMPARE(form.FileListBox->geometry(), QRect(165, 50, 145, 164));
      QCOMPARE(form.FileListBox->count(), 1);
      QCOMPARE(form.FileListBox->item(0)->text(), QString("notes.txt"));
      for (QPushButton* b : {form.BBOk, form.BBCancel, form.BBHelp}) QCOMPARE(b->x(), 320);
      QVERIFY(form.BBHelp->isVisible());
      QTest::mouseClick(form.BBHelp, Qt::LeftButton);
      QVERIFY(form.isVisible());  // help does not close the window
      // The file list follows the directory list.
      DoubleClick(form.DirectoryListBox, "alpha");
      QCOMPARE(form.FileListBox->count(), 0);
    });
    QCOMPARE(help.count(), 1);
    QCOMPARE(help.at(0).at(0).value<quint16>(), quint16(42));
  }

  void singleClickHighlightsAndOkReturnsTheOpenParent() {
    TDirectoryDialog dialog;
    const bool ok = Pick(dialog, [&](TFormDirDialog& form) {
      QCOMPARE(form.DirectoryListBox->Directory(), root_);
      // Hidden folders and files are not listed.
      QCOMPARE(RowOf(form.DirectoryListBox, ".hidden"), -1);
      QCOMPARE(RowOf(form.DirectoryListBox, "notes.txt"), -1);
      Click(form.DirectoryListBox, "Beta");
      QCOMPARE(form.DirectoryListBox->currentItem()->text(), QString("Beta"));
      QCOMPARE(form.DirectoryListBox->Directory(), root_);
      QTest::mouseClick(form.BBOk, Qt::LeftButton);
    });
    QVERIFY(ok);
    QCOMPARE(dialog.DirectoryName, root_);
  }

  void doubleClickAndEnterOpenAndTheCurrentDirectoryFollows() {
    TDirectoryDialog dialog;
    const bool ok = Pick(dialog, [&](TFormDirDialog& form) {
      DoubleClick(form.DirectoryListBox, "alpha");
      QCOMPARE(form.DirectoryListBox->Directory(), P("alpha"));
      QCOMPARE(QString::fromStdString(kdx::platform::GetCurrentDir()), P("alpha"));
      // Keyboard: the arrow only highlights, Enter opens and does not close the window.
      form.DirectoryListBox->setFocus();
      QTest::keyClick(form.DirectoryListBox, Qt::Key_Down);
      QCOMPARE(form.DirectoryListBox->currentItem()->text(), QString("deep"));
      QCOMPARE(form.DirectoryListBox->Directory(), P("alpha"));
      QTest::keyClick(form.DirectoryListBox, Qt::Key_Return);
      QCOMPARE(form.DirectoryListBox->Directory(), P("alpha/deep"));
      QVERIFY(form.isVisible());
      // Up again through an open-folder item.
      DoubleClick(form.DirectoryListBox, "alpha");
      QCOMPARE(form.DirectoryListBox->Directory(), P("alpha"));
      QTest::keyClick(&form, Qt::Key_Return);  // Enter on the window confirms nothing
      QVERIFY(form.isVisible());
      QTest::mouseClick(form.BBOk, Qt::LeftButton);
    });
    QVERIFY(ok);
    QCOMPARE(dialog.DirectoryName, P("alpha"));
    QCOMPARE(QString::fromStdString(kdx::platform::GetCurrentDir()), P("alpha"));
  }

  void cancelStillOverwritesDirectoryNameAndTheNextCallStartsThere() {
    TDirectoryDialog dialog;
    bool ok = Pick(dialog, [&](TFormDirDialog& form) {
      DoubleClick(form.DirectoryListBox, "gamma");
      QTest::keyClick(form.DirectoryListBox, Qt::Key_Escape);
      QVERIFY(!form.isVisible());
    });
    QVERIFY(!ok);
    QCOMPARE(dialog.DirectoryName, P("gamma"));

    kdx::platform::SetCurrentDir(root_.toStdString());
    ok = Pick(dialog, [&](TFormDirDialog& form) {
      QCOMPARE(form.DirectoryListBox->Directory(), P("gamma"));
      QTest::mouseClick(form.BBCancel, Qt::LeftButton);
    });
    QVERIFY(!ok);
    QCOMPARE(dialog.DirectoryName, P("gamma"));
  }

  void aStartFolderThatIsGoneIsIgnored() {
    TDirectoryDialog dialog;
    dialog.DirectoryName = P("removed/long/ago");
    kdx::platform::SetCurrentDir(P("Beta").toStdString());
    Pick(dialog,
         [&](TFormDirDialog& form) { QCOMPARE(form.DirectoryListBox->Directory(), P("Beta")); });
    QCOMPARE(dialog.DirectoryName, P("Beta"));
    QVERIFY(App()->errors.empty());
  }

  void aFolderThatVanishesIsReportedAndDropped() {
    TDirectoryDialog dialog;
    Pick(dialog, [&](TFormDirDialog& form) {
      QVERIFY(QDir(P("gamma")).removeRecursively());
      DoubleClick(form.DirectoryListBox, "gamma");
      QCoreApplication::processEvents();
      QCOMPARE(App()->errors.size(), size_t(1));
      QVERIFY(App()->errors[0].find("gamma") != std::string::npos);
      QCOMPARE(form.DirectoryListBox->Directory(), root_);
      QCOMPARE(RowOf(form.DirectoryListBox, "gamma"), -1);
      QVERIFY(form.isVisible());
    });
  }

  void theLabelShowsTheDirectoryShortenedToTheListWidth() {
    const QString deep = P("alpha/deep/deeper");
    TDirectoryDialog dialog;
    dialog.DirectoryName = deep;
    Pick(dialog, [&](TFormDirDialog& form) {
      const QString shown = form.LDirLabel->text();
      const int width = form.LDirLabel->fontMetrics().horizontalAdvance(shown);
      QVERIFY2(width <= 146 || shown == "deeper", qPrintable(shown));
      QVERIFY(shown.endsWith("/deeper"));
      if (deep.size() > 20) QVERIFY2(shown.contains(".../"), qPrintable(shown));
    });
  }

  void theDriveListShowsTheVolumeAndMovesTheListToItsRoot() {
    TDirectoryDialog dialog;
    Pick(dialog, [&](TFormDirDialog& form) {
      TDriveComboBox* drives = form.DriveComboBox;
      QVERIFY(drives->count() >= 1);
      QVERIFY(!drives->isEditable());
      QVERIFY(drives->currentIndex() >= 0);
      const int rootRow = drives->findText("/", Qt::MatchStartsWith);
      QCOMPARE(rootRow, 0);
      QVERIFY(!drives->itemIcon(rootRow).isNull());
      drives->ChooseItem(rootRow);
      if (form.DirectoryListBox->Logic().Drive().empty()) {
        // The tree was on the root volume: choosing it again changes nothing.
        QCOMPARE(form.DirectoryListBox->Directory(), root_);
        form.DirectoryListBox->SetDirectory("/");
      }
      QCOMPARE(form.DirectoryListBox->Directory(), QString("/"));
      QCOMPARE(form.DirectoryListBox->item(0)->text(), QString("/"));
      QTest::mouseClick(form.BBOk, Qt::LeftButton);
    });
    QCOMPARE(dialog.DirectoryName, QString("/"));  // a root keeps its separator
  }

  void aVolumeThatCannotBeEnteredIsReportedAndTheListsStayTogether() {
    TDirectoryDialog dialog;
    Pick(dialog, [&](TFormDirDialog& form) {
      using kdx::platform::DriveKind;
      const std::string tree = root_.toStdString();
      // The tree and an unplugged medium offered as volumes.
      form.DriveComboBox->Build({{"/", DriveKind::Fixed, "", ""},
                                 {tree + "/", DriveKind::Fixed, "tree", ""},
                                 {tree + "/unplugged/", DriveKind::Removable, "", ""}});
      form.DirectoryListBox->Logic().SetVolumeRoots(form.DriveComboBox->Logic().Roots());
      form.DriveComboBox->ChooseItem(1);
      QCOMPARE(form.DirectoryListBox->Directory(), root_ + "/");
      QCOMPARE(form.DriveComboBox->currentText(), root_ + "/ [tree]");

      form.DriveComboBox->ChooseItem(2);
      QCoreApplication::processEvents();
      QCOMPARE(App()->errors.size(), size_t(1));
      QCOMPARE(form.DirectoryListBox->Directory(), root_ + "/");
      QCOMPARE(form.DriveComboBox->currentIndex(), 1);  // back on the drive the list shows
      QVERIFY(form.isVisible());
      QTest::mouseClick(form.BBOk, Qt::LeftButton);
    });
    QCOMPARE(dialog.DirectoryName, root_ + "/");  // a volume root keeps its separator
  }

  void theRealModalRunClosesWithOk() {
    TDirectoryDialog dialog;
    dialog.DirectoryName = P("Beta");
    QTimer::singleShot(0, [] {
      auto* form = qobject_cast<TFormDirDialog*>(QApplication::activeModalWidget());
      QVERIFY(form);
      QTest::mouseClick(form->BBOk, Qt::LeftButton);
    });
    QVERIFY(dialog.PickFolder());
    QCOMPARE(dialog.DirectoryName, P("Beta"));
  }
};

int main(int argc, char** argv) {
  RecordingApplication app(argc, argv);
  DirDlgTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "dirdlg_test.moc"
