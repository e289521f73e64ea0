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
#include <memory>

#include "platform/fake_os.h"
#include "ui/qt/file_chooser_dialog.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;
using talmer::platform::fake_os;

namespace {

// The application object: the one another part of this test binary made,
// or one of our own, made on first use and ended after the last test (so
// that nothing it holds is reported as leaked).
std::unique_ptr<QApplication> own_app;
int app_argc = 1;
char app_name[] = "file_chooser_test";
char *app_argv[] = {app_name, nullptr};

struct own_app_ender : ::testing::Environment {
  void TearDown() override { own_app.reset(); }
};
const auto *const ender = ::testing::AddGlobalTestEnvironment(new own_app_ender);

void app() {
  if (QCoreApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  own_app = std::make_unique<QApplication>(app_argc, app_argv);
}

qt::file_chooser_dialog *open_dialog() {
  return dynamic_cast<qt::file_chooser_dialog *>(QApplication::activeModalWidget());
}

// Runs `step` inside the dialog's modal loop, as soon as the dialog is up.
void when_shown(std::function<void(qt::file_chooser_dialog &)> step) {
  auto *timer = new QTimer(QCoreApplication::instance());
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, step] {
    auto *d = open_dialog();
    if (d == nullptr || !d->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    step(*d);
  });
  timer->start();
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
