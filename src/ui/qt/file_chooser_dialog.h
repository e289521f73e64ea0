// The modal Qt dialog of the file chooser `Filename` ("Get Waveform Name to
// Download"): a view of the toolkit-free model in ui/file_chooser.h. It is
// created the first time it is shown and then only hidden and shown again,
// so the drive, folder and file chosen last are kept.
#pragma once

#include <QDialog>
#include <functional>

#include "ui/file_chooser.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace talmer::ui {
class TALMER_ARB;
}

namespace talmer::ui::qt {

class file_chooser_dialog : public QDialog {
 public:
  file_chooser_dialog(Filename &model, QWidget *parent);
  ~file_chooser_dialog() override;
  file_chooser_dialog(const file_chooser_dialog &) = delete;
  file_chooser_dialog &operator=(const file_chooser_dialog &) = delete;

  // Shows the chooser modally; returns when it has hidden itself ("OK",
  // "Cancel", Escape, a double-click on a file, or the close box).
  void run();

  // The widgets, for tests.
  QComboBox *Drive1() const { return drive1_; }
  QListWidget *Dir1() const { return dir1_; }
  QListWidget *File1() const { return file1_; }
  QPushButton *Done() const { return done_; }
  QPushButton *Cancel() const { return cancel_; }
  QLabel *Label1() const { return label1_; }

 protected:
  void reject() override;  // Escape and the close box: "Cancel"
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void build();
  void show_model();

  Filename &model_;
  QComboBox *drive1_ = nullptr;
  QListWidget *dir1_ = nullptr;
  QListWidget *file1_ = nullptr;
  QPushButton *done_ = nullptr;
  QPushButton *cancel_ = nullptr;
  QLabel *label1_ = nullptr;
  bool updating_ = false;
};

// Makes `w.show_file_chooser` show the chooser dialog (parented to `parent`,
// created on first use). `after_modal_loop`, when given, runs each time the
// dialog's modal loop has returned, before the window reads `getfile`.
void install_file_chooser(TALMER_ARB &w, QWidget *parent, std::function<void()> after_modal_loop = {});

}  // namespace talmer::ui::qt
