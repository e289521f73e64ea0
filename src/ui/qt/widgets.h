// One Qt widget per control of the window model. Each widget observes its
// control, so that caption, text, selection, list entries, enabled state and
// colours follow the model, and forwards the user's events to it through the
// window's event_guard. Updates that come from the model are applied with the
// widget's signals blocked, so they never travel back into the model.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "ui/controls.h"
#include "ui/progress.h"
#include "ui/qt/event_guard.h"

namespace talmer::ui::qt {

QColor to_qcolor(rgb c);

// What every bound widget shares: enabled state, font, background colour
// (painted in `role`) and the immediate repaint of change::refresh.
class binding {
 public:
  binding(QWidget &widget, control &model, QPalette::ColorRole role, std::function<void()> content);
  ~binding();
  binding(const binding &) = delete;
  binding &operator=(const binding &) = delete;
  // Applies the whole state of the control to the widget.
  void apply_all();

 private:
  void apply(change c);
  void apply_colour();
  QWidget &widget_;
  control &model_;
  QPalette::ColorRole role_;
  std::function<void()> content_;
  int token_;
};

// A label. A mouse press (any button) is the label's mouse_down; a press and
// release of the left button over it is its click. The caption is always
// plain text.
class caption_label : public QLabel {
 public:
  caption_label(label &model, event_guard &guard, QWidget *parent);

 protected:
  void mousePressEvent(QMouseEvent *e) override;
  void mouseReleaseEvent(QMouseEvent *e) override;

 private:
  label &model_;
  event_guard &guard_;
  bool pressed_ = false;
  binding bind_;
};

// One element of a rounded-rectangle shape, painted with the shape's fill
// colour (and its border colour, when it has one). Shapes take no input.
class rounded_shape : public QWidget {
 public:
  rounded_shape(shape &model, QWidget *parent);

 protected:
  void paintEvent(QPaintEvent *e) override;

 private:
  shape &model_;
  binding bind_;
};

class text_field : public QLineEdit {
 public:
  text_field(text_box &model, event_guard &guard, QWidget *parent);

 protected:
  void mouseDoubleClickEvent(QMouseEvent *e) override;

 private:
  text_box &model_;
  event_guard &guard_;
  binding bind_;
};

// The box of a check box; its caption is the separate label beside it.
class check_field : public QCheckBox {
 public:
  check_field(check_box &model, event_guard &guard, QWidget *parent);

 private:
  check_box &model_;
  event_guard &guard_;
  binding bind_;
};

// An option button. The mouse press is reported before the selection (the
// model's mouse_down); the selection itself, by mouse or keyboard, is the
// model's set_selected(true). The model decides which option is selected:
// the widget only shows it.
class option_field : public QRadioButton {
 public:
  option_field(option_button &model, event_guard &guard, QWidget *parent);

 protected:
  void mousePressEvent(QMouseEvent *e) override;
  void nextCheckState() override;

 private:
  option_button &model_;
  event_guard &guard_;
  binding bind_;
};

// A pick-only drop-down list. A choice (mouse or keyboard) is the model's
// choose; the focus moving into or out of the list is got_focus/lost_focus
// (not the list's own popup opening, nor another application taking over).
class pick_field : public QComboBox {
 public:
  pick_field(pick_list &model, event_guard &guard, QWidget *parent);

 protected:
  void focusInEvent(QFocusEvent *e) override;
  void focusOutEvent(QFocusEvent *e) override;

 private:
  void apply_content();
  pick_list &model_;
  event_guard &guard_;
  binding bind_;
};

class command_field : public QPushButton {
 public:
  command_field(command_button &model, event_guard &guard, QWidget *parent);

 private:
  command_button &model_;
  event_guard &guard_;
  binding bind_;
};

// The thin bar under the message text; visible while `model` is active.
// Repaints at once on every visible step, since a transfer keeps the thread
// busy.
class progress_strip : public QProgressBar {
 public:
  progress_strip(progress &model, QWidget *parent);
  ~progress_strip() override;
  progress_strip(const progress_strip &) = delete;
  progress_strip &operator=(const progress_strip &) = delete;

 private:
  void apply();
  progress &model_;
  int token_;
};

}  // namespace talmer::ui::qt
