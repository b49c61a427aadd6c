// The folder picker window, driven as a person would: clicks, double clicks and keys on the
// real controls, over a temporary directory tree.

#include "kdx/widgets/DirDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Path.h"
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

// The system's path rules: Windows has drive letters ("C:\\") and '\\'; POSIX one root "/".
constexpr bool kDriveLetters = kdx::platform::kHostPaths.driveLetters;
const QString kSep = QString(QLatin1Char(kdx::platform::kPathDelim));

// The root of the volume that holds `path`: its drive ("C:\\") or, without drive letters, "/".
QString RootOf(const QString& path) {
  return kDriveLetters ? path.left(3) : QStringLiteral("/");
}

// A drive letter that no volume of this system uses, for a drive that cannot be entered.
QString UnusedDriveRoot() {
  QString used;
  for (const QFileInfo& drive : QDir::drives()) used += drive.absolutePath().left(1).toUpper();
  for (char letter = 'Y'; letter > 'B'; --letter)
    if (!used.contains(QLatin1Char(letter))) return QString(QLatin1Char(letter)) + ":\\";
  return {};
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
  const TDirectoryDialog::ScopedShowHookForTesting shown([&](TFormDirDialog& form) {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return -1;
    script(form);
    QCoreApplication::processEvents();
    return form.result();
  });
  return dialog.PickFolder();
}

}  // namespace

class DirDlgTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<kdx::test::TempDir> tmp_;
  QString root_;

  // `relative` ('/'-separated) below the tree, spelled as the system spells paths.
  QString P(const QString& relative) const {
    return root_ + kSep + QDir::toNativeSeparators(relative);
  }

 private slots:
  void init() {
    tmp_ = std::make_unique<kdx::test::TempDir>();
    root_ = QString::fromStdString(tmp_->Path());
    for (const char* d : {"alpha/deep/deeper", "Beta", "gamma", ".hidden"}) tmp_->MakeDir(d);
    tmp_->WriteFile("notes.txt", "");
    kdx::platform::SetCurrentDir(tmp_->Path());
    App()->errors.clear();
  }
  void cleanup() { tmp_.reset(); }  // the current directory goes back with the folder

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

  // Centred on the screen in either layout, not over the window that is active when it opens.
  void theWindowOpensCentredOnTheScreen() {
    QWidget owner;
    owner.setGeometry(20, 20, 300, 200);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QApplication::setActiveWindow(&owner);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (bool fileList : {false, true}) {
      TDirectoryDialog dialog;
      dialog.FileListVisible = fileList;
      Pick(dialog, [&](TFormDirDialog& form) {
        const QPoint offset = form.frameGeometry().center() - screen.center();
        QVERIFY2(std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1,
                 qPrintable(QString("off the centre by %1,%2").arg(offset.x()).arg(offset.y())));
        QTest::mouseClick(form.BBCancel, Qt::LeftButton);
      });
    }
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

  // Enter presses a focused button, and only that: in the lists it opens, in the drive list it
  // does nothing.
  void enterPressesTheFocusedButton() {
    for (const bool ok : {true, false}) {
      TDirectoryDialog dialog;
      bool openAfterEnterInTheDriveList = false, closedByEnter = false;
      const bool result = Pick(dialog, [&](TFormDirDialog& form) {
        form.DriveComboBox->setFocus();
        QTest::keyClick(form.DriveComboBox, Qt::Key_Return);
        openAfterEnterInTheDriveList = form.isVisible();
        QPushButton* button = ok ? form.BBOk : form.BBCancel;
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
        closedByEnter = !form.isVisible();
      });
      QVERIFY(openAfterEnterInTheDriveList);
      QVERIFY(closedByEnter);
      QCOMPARE(result, ok);
    }
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
      QVERIFY2(shown.endsWith(kSep + "deeper"), qPrintable(shown));
      if (deep.size() > 20) QVERIFY2(shown.contains("..." + kSep), qPrintable(shown));
    });
  }

  void theDriveListShowsTheVolumeAndMovesTheListToItsRoot() {
    const QString root = RootOf(root_);
    TDirectoryDialog dialog;
    Pick(dialog, [&](TFormDirDialog& form) {
      TDriveComboBox* drives = form.DriveComboBox;
      QVERIFY(drives->count() >= 1);
      QVERIFY(!drives->isEditable());
      QVERIFY(drives->currentIndex() >= 0);
      // The tree's volume: its drive letter ("c: [label]", drives in letter order), or the
      // root file system, which comes first.
      const int rootRow =
          drives->findText(kDriveLetters ? root.left(2) : root, Qt::MatchStartsWith);
      QVERIFY2(rootRow >= 0, qPrintable(root));
      if (!kDriveLetters) QCOMPARE(rootRow, 0);
      QVERIFY(!drives->itemIcon(rootRow).isNull());
      drives->ChooseItem(rootRow);
      if (kDriveLetters || form.DirectoryListBox->Logic().Drive().empty()) {
        // The tree was on that volume already: choosing it again changes nothing.
        QCOMPARE(form.DirectoryListBox->Directory(), root_);
        form.DirectoryListBox->SetDirectory(root);
      }
      QCOMPARE(form.DirectoryListBox->Directory(), root);
      QCOMPARE(form.DirectoryListBox->item(0)->text(), root);
      QTest::mouseClick(form.BBOk, Qt::LeftButton);
    });
    QCOMPARE(dialog.DirectoryName, root);  // a root keeps its separator
  }

  void aVolumeThatCannotBeEnteredIsReportedAndTheListsStayTogether() {
    using kdx::platform::DriveKind;
    using kdx::platform::VolumeInfo;
    const std::string tree = root_.toStdString();
    // The tree's volume and an unplugged medium. Drive letters: the tree's own drive (choosing
    // it leaves the list where it is) and a letter no volume uses. Mount points: the tree
    // itself offered as a volume (the list moves to its root) and a folder below it.
    std::vector<VolumeInfo> volumes;
    int treeRow = 0;
    QString treeDir, treeText;
    if (kDriveLetters) {
      const std::string unused = UnusedDriveRoot().toStdString();
      QVERIFY(!unused.empty());
      volumes = {{RootOf(root_).toStdString(), DriveKind::Fixed, "tree", ""},
                 {unused, DriveKind::Removable, "", ""}};
      treeDir = root_;
      treeText = root_.left(2).toLower() + " [tree]";
    } else {
      volumes = {{"/", DriveKind::Fixed, "", ""},
                 {tree + "/", DriveKind::Fixed, "tree", ""},
                 {tree + "/unplugged/", DriveKind::Removable, "", ""}};
      treeRow = 1;
      treeDir = root_ + "/";  // a volume root keeps its separator
      treeText = root_ + "/ [tree]";
    }
    const int unpluggedRow = static_cast<int>(volumes.size()) - 1;
    TDirectoryDialog dialog;
    Pick(dialog, [&](TFormDirDialog& form) {
      form.DriveComboBox->Build(volumes);
      form.DirectoryListBox->Logic().SetVolumeRoots(form.DriveComboBox->Logic().Roots());
      form.DriveComboBox->ChooseItem(treeRow);
      QCOMPARE(form.DirectoryListBox->Directory(), treeDir);
      QCOMPARE(form.DriveComboBox->currentText(), treeText);

      form.DriveComboBox->ChooseItem(unpluggedRow);
      QCoreApplication::processEvents();
      QCOMPARE(App()->errors.size(), size_t(1));
      QCOMPARE(form.DirectoryListBox->Directory(), treeDir);
      QCOMPARE(form.DriveComboBox->currentIndex(), treeRow);  // back on the drive the list shows
      QVERIFY(form.isVisible());
      QTest::mouseClick(form.BBOk, Qt::LeftButton);
    });
    QCOMPARE(dialog.DirectoryName, treeDir);
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
