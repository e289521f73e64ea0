// The chooser dialog in a real (offscreen) Qt event loop: Select I opens it
// modally, a double-click or OK returns the path, Escape cancels, and the
// dialog keeps its folder and selection from one showing to the next.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "platform/fake_os.h"
#include "ui/qt/file_chooser_dialog.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;
using talmer::platform::fake_os;

namespace {

QApplication &app() {
  static int argc = 1;
  static char name[] = "file_chooser_test";
  static char *argv[] = {name, nullptr};
  static QApplication *a = qobject_cast<QApplication *>(QCoreApplication::instance());
  if (a == nullptr) a = new QApplication(argc, argv);
  return *a;
}

qt::file_chooser_dialog *open_dialog() {
  return dynamic_cast<qt::file_chooser_dialog *>(QApplication::activeModalWidget());
}

// Runs `step` inside the dialog's modal loop, as soon as the dialog is up.
void when_shown(std::function<void(qt::file_chooser_dialog &)> step) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [step, poll] {
    if (auto *d = open_dialog(); d != nullptr && d->isVisible()) step(*d);
    else QTimer::singleShot(5, *poll);
  };
  QTimer::singleShot(0, *poll);
}

// A key pressed and released on `target`, as the user would type it.
void key(QWidget *target, int code) {
  QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
  QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  QApplication::sendEvent(target, &release);
}

// A double click on a row, as the list reports it.
void double_click(QListWidget *list, int row) {
  list->setCurrentRow(row);
  emit list->itemDoubleClicked(list->item(row));
}

int row_of(QListWidget *list, const QString &text) {
  for (int r = 0; r < list->count(); ++r)
    if (list->item(r)->text().trimmed() == text) return r;
  return -1;
}

struct dialog_fixture : ::testing::Test {
  fake_os os;
  TALMER_ARB w{os};
  int loops = 0;
  void SetUp() override {
    app();
    os.use_real_files = false;
    os.cwd = "/data";
    os.directories["/"] = {{"data", true}, {"A.BIN", false}};
    os.directories["/data"] = {{"wave", true}, {"sig_i.bin", false}, {"sig_q.bin", false}};
    os.directories["/data/wave"] = {{"w.bin", false}};
    os.files = {{"/data/sig_i.bin", 64}, {"/data/sig_q.bin", 64}, {"/A.BIN", 32}, {"/data/wave/w.bin", 40}};
    w.Form_Load();
    qt::install_file_chooser(w, nullptr, [this] { ++loops; });
  }
};

}  // namespace

TEST_F(dialog_fixture, double_click_chooses_and_the_selection_persists) {
  when_shown([](qt::file_chooser_dialog &d) {
    EXPECT_EQ(d.windowTitle(), "Get Waveform Name to Download");
    EXPECT_EQ(d.Label1()->text(), "Select a Waveform File");
    QListWidget *files = d.File1();
    const int r = row_of(files, "sig_i.bin");
    ASSERT_GE(r, 0);
    double_click(files, r);
  });
  w.Select_I.click();
  EXPECT_EQ(w.I_source.text(), "/data/sig_i.bin");
  EXPECT_EQ(w.Q_source.text(), "/data/sig_q.bin") << "Auto Find Q";
  EXPECT_EQ(w.destination.text(), "sig");
  EXPECT_EQ(loops, 1);

  // Shown again: the same folder and file; Escape cancels and changes nothing.
  when_shown([](qt::file_chooser_dialog &d) {
    EXPECT_EQ(d.File1()->currentItem() ? d.File1()->currentItem()->text() : QString(), "sig_i.bin");
    key(&d, Qt::Key_Escape);
  });
  w.Select_I.click();
  EXPECT_EQ(w.getfile, "");
  EXPECT_EQ(w.I_source.text(), "/data/sig_i.bin");
}

TEST_F(dialog_fixture, folders_open_and_ok_returns_one_separator_after_the_root) {
  when_shown([](qt::file_chooser_dialog &d) {
    QListWidget *dirs = d.Dir1();
    const int root = row_of(dirs, "/");
    ASSERT_GE(root, 0);
    dirs->setCurrentRow(root);
    key(dirs, Qt::Key_Return);  // opens the folder, does not press OK
    ASSERT_TRUE(d.isVisible());
    const int r = row_of(d.File1(), "A.BIN");
    ASSERT_GE(r, 0);
    d.File1()->setCurrentRow(r);
    d.Done()->click();
  });
  w.Select_Q.click();
  EXPECT_EQ(w.Q_source.text(), "/A.BIN");
  EXPECT_EQ(w.Q_length.caption(), "32");

  // OK with no file selected returns the previous path again.
  when_shown([](qt::file_chooser_dialog &d) {
    QListWidget *dirs = d.Dir1();
    const int r = row_of(dirs, "data");
    ASSERT_GE(r, 0);
    double_click(dirs, r);
    EXPECT_EQ(d.File1()->currentRow(), -1);
    key(d.File1(), Qt::Key_Return);  // Enter: the default button
  });
  w.Select_Q.click();
  EXPECT_EQ(w.getfile, "/A.BIN");

#ifdef TALMER_ARTIFACT_DIR
  when_shown([](qt::file_chooser_dialog &d) {
    QDir().mkpath(TALMER_ARTIFACT_DIR);
    d.grab().save(QString(TALMER_ARTIFACT_DIR) + "/file_chooser.png");
    d.Cancel()->click();
  });
  w.Select_Q.click();
  EXPECT_EQ(w.getfile, "");
#endif
}
