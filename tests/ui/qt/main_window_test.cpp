// The Qt window, offscreen: events reach the model's reactions as a user's
// would, and the widgets follow the model.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "platform/platform.h"
#include "support/serial_sim.h"
#include "ui/messages.h"
#include "ui/qt/main_window.h"
#include "ui/qt/text.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;
using talmer::ui::qt::main_window;

namespace {

// One QApplication for the whole binary, on the offscreen platform.
class qt_environment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "talmer_qt_tests";
  char *argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
const auto *const environment = ::testing::AddGlobalTestEnvironment(new qt_environment);

// The window on the real OS layer (its hooks installed), loaded in the
// current directory, shown and active.
struct window_fixture : ::testing::Test {
  talmer::platform::real_os os;
  TALMER_ARB w{os};
  std::unique_ptr<main_window> view;

  void SetUp() override {
    view = std::make_unique<main_window>(w, &os);
    ASSERT_TRUE(view->load());
    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
  }
  void TearDown() override { view.reset(); }

  template <class W = QWidget>
  W *widget(const char *name, int element = 0) {
    auto *x = qobject_cast<W *>(view->widget_for(name, element));
    EXPECT_NE(x, nullptr) << name;
    return x;
  }
  QString panel_text() { return widget<QLabel>("Messages")->text(); }
};

// Counts the paint events a widget receives.
struct paint_counter : QObject {
  int paints = 0;
  bool eventFilter(QObject *, QEvent *e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace

TEST(display_text, shows_each_lf_cr_pair_as_one_line_break) {
  EXPECT_EQ(qt::display_text("a\n\rb\n\r\n\rc"), QString("a\nb\n\nc"));
  EXPECT_EQ(qt::display_text("a\r\nb\rc"), QString("a\nb\nc"));
  EXPECT_EQ(qt::display_text(help_3("Version 2.4")), QString::fromStdString(help_3("Version 2.4")).replace("\n\r", "\n"));
}

TEST_F(window_fixture, mouse_press_on_each_help_caption_shows_its_text) {
  struct row {
    const char *caption;
    std::string text;
  };
  const row pressed[] = {
      {"lbl_dwnld", help_1},      {"lblDestination", help_2},   {"title", help_3("Version 2.4")},
      {"Version", help_3("Version 2.4")}, {"lbl_points", help_5}, {"Label1", help_6},
      {"Cvrt_wfm", help_7},       {"ByteSwap", help_10},        {"corvaneib", help_4},
      {"serial", help_12},
  };
  for (const row &r : pressed) {
    w.show_now(panel_red, "failed");
    QTest::mousePress(widget(r.caption), Qt::LeftButton);
    EXPECT_EQ(w.Messages.caption(), r.text) << r.caption;
    EXPECT_EQ(panel_text(), qt::display_text(r.text)) << r.caption;
    EXPECT_EQ(w.msgsbkgd.fill(), panel_teal) << r.caption;
    QTest::mouseRelease(widget(r.caption), Qt::LeftButton);
  }

  // The two check-box captions answer a click, not a mere press.
  const row clicked[] = {{"Auto_Name_Lbl", help_8}, {"Auto_Find_Q_Lbl", help_11}};
  for (const row &r : clicked) {
    w.show_message("before");
    QTest::mousePress(widget(r.caption), Qt::LeftButton);
    EXPECT_EQ(w.Messages.caption(), "before") << r.caption;
    QTest::mouseRelease(widget(r.caption), Qt::LeftButton);
    EXPECT_EQ(w.Messages.caption(), r.text) << r.caption;
  }

  // Captions without help change nothing.
  w.show_message("kept");
  for (const char *name : {"lblSource_I", "lblSource_Q", "lbl_dwnldtime", "dwnldtime", "points", "I_length",
                           "Q_length", "lbl_I_length", "lbl_Q_length", "Label2", "lblCOMM"})
    QTest::mouseClick(widget(name), Qt::LeftButton);
  EXPECT_EQ(w.Messages.caption(), "kept");
}

TEST_F(window_fixture, link_options_by_mouse_and_by_keyboard) {
  auto *serial = widget<QRadioButton>("serial");
  auto *gpib = widget<QRadioButton>("corvaneib");
  auto *list = widget<QComboBox>("Talmerid");
  w.show_message("kept");

  // RS232 by keyboard: only the option changes.
  serial->setFocus(Qt::TabFocusReason);
  QTest::keyClick(serial, Qt::Key_Space);
  EXPECT_TRUE(w.serial.selected());
  EXPECT_FALSE(w.corvaneib.selected());
  EXPECT_TRUE(serial->isChecked());
  EXPECT_FALSE(gpib->isChecked());
  EXPECT_EQ(w.lblCOMM.caption(), "Corvane-IB Address");
  EXPECT_EQ(w.Talmerid.items().size(), 32u);
  EXPECT_EQ(list->count(), 32);
  EXPECT_EQ(w.Messages.caption(), "kept");

  // GPIB by keyboard runs corvaneib_Click: the GPIB list and caption.
  gpib->setFocus(Qt::TabFocusReason);
  QTest::keyClick(gpib, Qt::Key_Space);
  EXPECT_TRUE(w.corvaneib.selected());
  EXPECT_FALSE(serial->isChecked());
  EXPECT_EQ(w.lblCOMM.caption(), "GPIB Address");
  EXPECT_EQ(widget<QLabel>("lblCOMM")->text(), "GPIB Address");
  EXPECT_EQ(w.Messages.caption(), "kept");

  // RS232 by mouse: the serial list, shown in the widget.
  QTest::mouseClick(serial, Qt::LeftButton);
  EXPECT_TRUE(serial->isChecked());
  EXPECT_FALSE(gpib->isChecked());
  ASSERT_EQ(list->count(), 5);
  EXPECT_EQ(list->itemText(4), "Comm 4");
  EXPECT_EQ(list->currentText(), "Auto Detect");
  EXPECT_EQ(w.Messages.caption(), help_12);

  // Clicking the selected option again keeps it selected.
  QTest::mouseClick(serial, Qt::LeftButton);
  EXPECT_TRUE(serial->isChecked());
  EXPECT_TRUE(w.serial.selected());
}

TEST_F(window_fixture, tab_into_swap_shows_help_9_and_tab_out_the_neutral_text) {
  widget("Select_Q")->setFocus(Qt::TabFocusReason);
  w.show_now(panel_red, "failed");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), widget("Swap"));
  EXPECT_EQ(w.Messages.caption(), help_9);
  EXPECT_EQ(w.msgsbkgd.fill(), panel_teal);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), widget("Refresh_files"));
  EXPECT_EQ(w.Messages.caption(), "(Messages show here.)");
}

TEST_F(window_fixture, tab_follows_the_focus_order_and_skips_disabled_controls) {
  const char *expected[] = {"destination", "Start_dwnld", "PgmExit",       "clearsrc",    "Talmerid",
                            "Select_I",    "Select_Q",    "Swap",          "Refresh_files", "convert_wfm",
                            "corvaneib",   "serial",      "Auto_name",     "auto_find_q", "destination"};
  // The path boxes start disabled: the focus starts on the name box.
  EXPECT_EQ(QApplication::focusWidget(), widget("destination"));
  for (size_t i = 1; i < std::size(expected); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), expected[i]);
  }
  w.enable_controls();
  widget("auto_find_q")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), widget("Q_source"));
}

TEST_F(window_fixture, messages_are_plain_text_and_refresh_repaints_at_once) {
  auto *messages = widget<QLabel>("Messages");
  w.show_message("<b>not bold</b> & <i>x</i>" + std::string(NL) + "line 2");
  EXPECT_EQ(messages->textFormat(), Qt::PlainText);
  EXPECT_EQ(messages->text(), "<b>not bold</b> & <i>x</i>\nline 2");
  EXPECT_TRUE(messages->wordWrap());

  // A long operation writes the panel and repaints it without returning to
  // the event loop.
  paint_counter panel, label;
  widget("msgsbkgd")->installEventFilter(&panel);
  messages->installEventFilter(&label);
  w.show_now(panel_green, "Sending");
  EXPECT_GT(panel.paints, 0);
  EXPECT_GT(label.paints, 0);
  EXPECT_EQ(messages->text(), "Sending");
}

TEST_F(window_fixture, disabled_controls_are_disabled_in_the_window) {
  EXPECT_FALSE(widget("I_source")->isEnabled());
  EXPECT_FALSE(widget("Q_source")->isEnabled());
  w.enable_controls();
  w.serial.mouse_down();
  w.disable_controls();
  for (const char *name : {"PgmExit", "I_source", "Q_source", "destination", "Start_dwnld", "clearsrc", "Swap",
                           "convert_wfm", "Select_I", "Select_Q", "Refresh_files", "Auto_name", "auto_find_q",
                           "Talmerid", "corvaneib", "serial"})
    EXPECT_FALSE(widget(name)->isEnabled()) << name;
  EXPECT_TRUE(widget<QRadioButton>("serial")->isChecked());
  EXPECT_TRUE(widget("Messages")->isEnabled());
  EXPECT_TRUE(widget("title")->isEnabled());
  // A disabled button does not react.
  int clicks = 0;
  w.Start_dwnld.on_click = [&] { ++clicks; };
  QTest::mouseClick(widget("Start_dwnld"), Qt::LeftButton);
  EXPECT_EQ(clicks, 0);
  w.enable_controls();
  QTest::mouseClick(widget("Start_dwnld"), Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

TEST_F(window_fixture, edits_choices_checks_and_double_clicks_reach_the_model) {
  // Typing in the name box is destination_Change: teal, text kept.
  w.show_now(panel_red, "failed");
  QTest::keyClicks(widget("destination"), "2");
  EXPECT_EQ(w.destination.text(), "waveform12");
  EXPECT_EQ(w.msgsbkgd.fill(), panel_teal);
  EXPECT_EQ(w.Messages.caption(), "failed");
  // The model's text shows in the box.
  w.destination.set_text("other");
  EXPECT_EQ(widget<QLineEdit>("destination")->text(), "other");

  // A choice in a list runs its click reaction.
  int chosen = 0;
  w.convert_wfm.on_click = [&] { ++chosen; };
  auto *convert = widget<QComboBox>("convert_wfm");
  convert->setFocus(Qt::TabFocusReason);
  QTest::keyClick(convert, Qt::Key_Down);
  EXPECT_EQ(w.convert_wfm.text(), "No");
  EXPECT_EQ(chosen, 1);
  // Set by the model: shown, no reaction.
  w.convert_wfm.set_text("maybe");
  EXPECT_EQ(convert->currentText(), "Maybe");
  EXPECT_EQ(chosen, 1);

  auto *auto_name = widget<QCheckBox>("Auto_name");
  QTest::mouseClick(auto_name, Qt::LeftButton);
  EXPECT_FALSE(w.Auto_name.checked());
  w.Auto_name.set_checked(true);
  EXPECT_TRUE(auto_name->isChecked());

  // The I path box answers a double click once it is enabled.
  int opened = 0;
  w.I_source.on_dbl_click = [&] { ++opened; };
  QTest::mouseDClick(widget("I_source"), Qt::LeftButton);
  EXPECT_EQ(opened, 0);
  w.enable_controls();
  QTest::mouseDClick(widget("I_source"), Qt::LeftButton);
  EXPECT_EQ(opened, 1);
}

TEST_F(window_fixture, progress_bar_is_hidden_until_a_transfer_drives_it) {
  auto *bar = view->findChild<QProgressBar *>("download_progress");
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisible());
  w.download_progress.start(std::int64_t{1} << 40);
  EXPECT_TRUE(bar->isVisible());
  w.download_progress.advance(std::int64_t{1} << 39);
  EXPECT_EQ(bar->value(), 500);
  w.download_progress.finish();
  EXPECT_FALSE(bar->isVisible());
}

TEST_F(window_fixture, an_exception_in_a_reaction_shows_its_text_in_red_and_unlocks_the_window) {
  w.Start_dwnld.on_click = [&] {
    w.disable_controls();
    throw std::runtime_error("Cannot open the GPIB driver.");
  };
  QTest::mouseClick(widget("Start_dwnld"), Qt::LeftButton);
  EXPECT_EQ(w.Messages.caption(), "Cannot open the GPIB driver.");
  EXPECT_EQ(w.msgsbkgd.fill(), panel_red);
  EXPECT_TRUE(w.Start_dwnld.enabled());
  EXPECT_TRUE(widget("PgmExit")->isEnabled());
  EXPECT_TRUE(view->isVisible());
}

TEST_F(window_fixture, grab_of_the_whole_window) {
  EXPECT_EQ(view->size(), QSize(528, 423));
  EXPECT_EQ(view->windowTitle(), "Load Waveform into Talmer ARB");
  w.I_source.set_text("i.bin");
  w.I_length.set_caption("32768");
  w.Q_source.set_text("q.bin");
  w.Q_length.set_caption("32768");
  w.Auto_Find_Q_Lbl.click();
  QDir().mkpath(TALMER_ARTIFACT_DIR);
  const QString path = QStringLiteral(TALMER_ARTIFACT_DIR "/main_window.png");
  const QImage shot = view->grab().toImage();
  ASSERT_TRUE(shot.save(path));
  // The window background and the panel colour are where they belong.
  EXPECT_EQ(shot.pixelColor(2, 200), QColor(112, 112, 112));
  EXPECT_EQ(shot.pixelColor(widget("msgsbkgd")->geometry().center().x(), widget("msgsbkgd")->y() + 4),
            QColor(0, 192, 208));
}

#ifdef TALMER_SIM_LIBDIR
// Start Download against the simulated libraries: the window finds them
// through TALMER_ARB_LIBDIR (set before its first library load), downloads,
// and hands its inputs back.
TEST_F(window_fixture, start_download_over_the_simulated_gpib_libraries) {
  const QString store = QDir::temp().filePath(QStringLiteral("talmer_qt_download_%1").arg(QCoreApplication::applicationPid()));
  QDir(store).removeRecursively();
  ASSERT_TRUE(QDir().mkpath(store));
  setenv("TALMER_ARB_LIBDIR", TALMER_SIM_LIBDIR, 1);
  setenv("TALMER_SIM_TIMEOUT_SCALE", "0.01", 1);
  setenv("TALMER_SIM_STORE", store.toLocal8Bit().constData(), 1);
  w.show_file_chooser = [&] { w.getfile = TALMER_SOURCE_DIR "/examples/sine_i.bin"; };
  QTest::mouseClick(widget("Select_I"), Qt::LeftButton);
  ASSERT_EQ(w.Q_source.text(), TALMER_SOURCE_DIR "/examples/sine_q.bin");
  QTest::mouseClick(widget("Start_dwnld"), Qt::LeftButton);
  EXPECT_EQ(panel_text(), "Done with download.");
  EXPECT_EQ(w.msgsbkgd.fill(), panel_teal);
  EXPECT_EQ(w.Talmerid.text(), "19");
  for (const char *name : {"Start_dwnld", "PgmExit", "destination", "Select_I", "Select_Q", "Swap", "Talmerid"})
    EXPECT_TRUE(widget(name)->isEnabled()) << name;
  EXPECT_EQ(QFileInfo(store + QStringLiteral("/arbi_sine.bin")).size(), 8192);
  EXPECT_EQ(QFileInfo(store + QStringLiteral("/arbq_sine.bin")).size(), 8192);
  QDir(store).removeRecursively();
}
#endif

// These end the program; they come last, since the end also tells every
// event loop of the test binary to exit.
TEST_F(window_fixture, closing_the_window_runs_Form_Unload_and_ends_with_status_0) {
  int unloads = 0;
  w.on_unload = [&] { ++unloads; };
  view->close();
  EXPECT_EQ(unloads, 1);
  EXPECT_EQ(view->end_status(), 0);
  EXPECT_FALSE(view->isVisible());
  // Nothing runs any more.
  w.show_message("kept");
  QTest::mousePress(widget("title"), Qt::LeftButton);
  EXPECT_EQ(w.Messages.caption(), "kept");
}

TEST_F(window_fixture, exit_button_leaves_the_event_loop_with_status_0) {
  QTimer::singleShot(0, [&] { QTest::mouseClick(widget("PgmExit"), Qt::LeftButton); });
  QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });  // a hang fails, not blocks
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(view->end_status(), 0);
  EXPECT_FALSE(view->isVisible());
}

TEST_F(window_fixture, an_end_ordered_by_a_driver_layer_keeps_its_status) {
  bool after = false;
  w.Start_dwnld.on_click = [&] {
    w.os().end_program(3);
    after = true;
  };
  QTimer::singleShot(0, [&] { QTest::mouseClick(widget("Start_dwnld"), Qt::LeftButton); });
  QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QApplication::exec(), 3);
  EXPECT_FALSE(after);
  EXPECT_EQ(view->end_status(), 3);
}

TEST_F(window_fixture, closing_during_a_long_operation_stops_it) {
  int steps = 0;
  bool finished = false;
  w.Start_dwnld.on_click = [&] {
    w.disable_controls();
    for (int i = 0; i < 1000; ++i) {
      if (i == 2) QMetaObject::invokeMethod(view.get(), &QWidget::close, Qt::QueuedConnection);
      w.os().process_events();
      ++steps;
    }
    finished = true;
  };
  QTest::mouseClick(widget("Start_dwnld"), Qt::LeftButton);
  EXPECT_FALSE(finished);
  EXPECT_LT(steps, 10);
  EXPECT_EQ(view->end_status(), 0);
  EXPECT_FALSE(view->isVisible());
}

#ifdef TALMER_SIM_PATH
// "Start Download" with the RS232 option, in the window, to the simulated
// serial instrument on port 1: both channels of a bundled example arrive.
TEST_F(window_fixture, start_download_over_rs232_reaches_the_simulated_instrument) {
  serial_sim::temp_dir dir;
  serial_sim::sim_process sim(TALMER_SIM_PATH, dir.path, "talmer", {"--line-rate", "0", "--drain-rate", "200000"});
  ASSERT_TRUE(sim.ready()) << sim.stop();
  setenv("TALMER_ARB_COMM1", sim.link().c_str(), 1);
  for (const char *p : {"TALMER_ARB_COMM2", "TALMER_ARB_COMM3", "TALMER_ARB_COMM4"})
    setenv(p, "/nonexistent/talmer-tty", 1);

  QTest::mouseClick(widget("serial"), Qt::LeftButton);
  ASSERT_TRUE(w.serial.selected());
  const std::string example = TALMER_SOURCE_DIR "/examples/sine_i.bin";
  w.show_file_chooser = [&] { w.getfile = example; };
  QTest::mouseClick(widget("Select_I"), Qt::LeftButton);
  w.destination.set_text("wave1");
  w.Swap.set_text("No");
  QTest::mouseClick(widget("Start_dwnld"), Qt::LeftButton);

  EXPECT_EQ(panel_text().toStdString(), "Done with download.");
  EXPECT_EQ(w.Talmerid.text(), "Comm 1");
  EXPECT_TRUE(w.Start_dwnld.enabled());
  EXPECT_TRUE(sim.wait_stored("arbq_wave1.bin", 8192));
  sim.stop();
  EXPECT_TRUE(serial_sim::read_all(sim.stored("arbi_wave1.bin")) == serial_sim::read_all(example));
  EXPECT_TRUE(serial_sim::read_all(sim.stored("arbq_wave1.bin")) ==
              serial_sim::read_all(TALMER_SOURCE_DIR "/examples/sine_q.bin"));
  for (const char *p : {"TALMER_ARB_COMM1", "TALMER_ARB_COMM2", "TALMER_ARB_COMM3", "TALMER_ARB_COMM4"}) unsetenv(p);
}
#endif
