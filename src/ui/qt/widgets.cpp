#include "ui/qt/widgets.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStringList>

#include "ui/qt/text.h"

namespace talmer::ui::qt {

QColor to_qcolor(rgb c) { return QColor(c.r, c.g, c.b); }

// ---- binding ---------------------------------------------------------------

binding::binding(QWidget &widget, control &model, QPalette::ColorRole role, std::function<void()> content)
    : widget_(widget), model_(model), role_(role), content_(std::move(content)) {
  token_ = model_.observe([this](control &, change c) { apply(c); });
}

binding::~binding() { model_.unobserve(token_); }

void binding::apply_all() {
  widget_.setObjectName(to_qstring(model_.name()));
  QFont f = widget_.font();
  f.setPointSizeF(model_.font().points);
  f.setBold(model_.font().bold);
  widget_.setFont(f);
  widget_.setEnabled(model_.enabled());
  apply_colour();
  if (content_) content_();
}

void binding::apply(change c) {
  switch (c) {
    case change::content:
      if (content_) content_();
      break;
    case change::enabled:
      widget_.setEnabled(model_.enabled());
      break;
    case change::colour:
      apply_colour();
      break;
    case change::refresh:
      widget_.repaint();
      break;
  }
}

void binding::apply_colour() {
  QPalette p = widget_.palette();
  if (auto c = model_.back_color()) {
    p.setColor(role_, to_qcolor(*c));
  } else {
    // No colour of its own: the one it would inherit.
    const QWidget *parent = widget_.parentWidget();
    p.setColor(role_, (parent != nullptr ? parent->palette() : QPalette()).color(role_));
  }
  widget_.setPalette(p);
  if (role_ == QPalette::Window) widget_.setAutoFillBackground(model_.back_color().has_value());
  widget_.update();
}

// ---- caption_label ---------------------------------------------------------

caption_label::caption_label(label &model, event_guard &guard, QWidget *parent)
    : QLabel(parent), model_(model), guard_(guard), bind_(*this, model, QPalette::Window, [this] {
        setText(display_text(model_.caption()));
      }) {
  setTextFormat(Qt::PlainText);
  setWordWrap(model.word_wrap);
  if (model.centred) setAlignment(Qt::AlignCenter);
  if (model.bordered()) {
    setFrameShape(QFrame::Box);
    setLineWidth(1);
  }
  setFocusPolicy(Qt::NoFocus);
  bind_.apply_all();
}

void caption_label::mousePressEvent(QMouseEvent *e) {
  pressed_ = e->button() == Qt::LeftButton;
  guard_.run([this] { model_.mouse_down(); });
  e->accept();
}

void caption_label::mouseReleaseEvent(QMouseEvent *e) {
  const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
  pressed_ = false;
  if (click) guard_.run([this] { model_.click(); });
  e->accept();
}

// ---- rounded_shape ---------------------------------------------------------

rounded_shape::rounded_shape(shape &model, QWidget *parent)
    : QWidget(parent), model_(model), bind_(*this, model, QPalette::Window, [this] { update(); }) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  bind_.apply_all();
}

void rounded_shape::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor fill = to_qcolor(model_.fill());
  p.setBrush(fill);
  if (model_.border) {
    p.setPen(QPen(to_qcolor(*model_.border), 2));
  } else {
    p.setPen(QPen(fill, 1));
  }
  const double radius = std::min(12.0, std::min(width(), height()) / 4.0);
  p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius, radius);
}

// ---- text_field ------------------------------------------------------------

text_field::text_field(text_box &model, event_guard &guard, QWidget *parent)
    : QLineEdit(parent), model_(model), guard_(guard), bind_(*this, model, QPalette::Base, [this] {
        const QString t = to_qstring(model_.text());
        if (text() != t) {
          QSignalBlocker block(this);
          setText(t);
        }
      }) {
  connect(this, &QLineEdit::textEdited, this, [this](const QString &t) {
    guard_.run([this, s = to_std(t)] { model_.set_text(s); });
  });
  bind_.apply_all();
}

void text_field::mouseDoubleClickEvent(QMouseEvent *e) {
  QLineEdit::mouseDoubleClickEvent(e);
  if (e->button() == Qt::LeftButton) guard_.run([this] { model_.double_click(); });
}

// ---- check_field -----------------------------------------------------------

check_field::check_field(check_box &model, event_guard &guard, QWidget *parent)
    : QCheckBox(parent), model_(model), guard_(guard), bind_(*this, model, QPalette::Window, [this] {
        QSignalBlocker block(this);
        // The analyzer takes `this` in a member initialiser for null.
        setChecked(model_.checked());  // NOLINT(clang-analyzer-core.CallAndMessage)
      }) {
  setAccessibleName(to_qstring(model.caption()));
  connect(this, &QCheckBox::toggled, this, [this](bool on) {
    guard_.run([this, on] { model_.set_checked(on); });
    if (isChecked() != model_.checked()) {
      QSignalBlocker block(this);
      setChecked(model_.checked());
    }
  });
  bind_.apply_all();
}

// ---- option_field ----------------------------------------------------------

option_field::option_field(option_button &model, event_guard &guard, QWidget *parent)
    : QRadioButton(parent), model_(model), guard_(guard), bind_(*this, model, QPalette::Window, [this] {
        setText(to_qstring(model_.caption()));
        QSignalBlocker block(this);
        setChecked(model_.selected());
      }) {
  // The model keeps the two options exclusive; Qt must not do it on its own.
  setAutoExclusive(false);
  bind_.apply_all();
}

void option_field::mousePressEvent(QMouseEvent *e) {
  guard_.run([this] { model_.mouse_down(); });
  if (isEnabled() && isVisible()) QRadioButton::mousePressEvent(e);
}

void option_field::nextCheckState() {
  // Called when the option is activated (mouse release, space key): it
  // becomes selected; a selected option stays selected.
  guard_.run([this] {
    if (!model_.selected()) model_.set_selected(true);
  });
  QSignalBlocker block(this);
  setChecked(model_.selected());
}

// ---- pick_field ------------------------------------------------------------

pick_field::pick_field(pick_list &model, event_guard &guard, QWidget *parent)
    : QComboBox(parent), model_(model), guard_(guard), bind_(*this, model, QPalette::Button, [this] {
        apply_content();
      }) {
  setEditable(false);
  connect(this, &QComboBox::activated, this, [this](int i) { guard_.run([this, i] { model_.choose(i); }); });
  bind_.apply_all();
}

void pick_field::apply_content() {
  QStringList want;
  for (const auto &item : model_.items()) want << to_qstring(item);
  QSignalBlocker block(this);
  bool same = count() == want.size();
  for (int i = 0; same && i < count(); ++i) same = itemText(i) == want[i];
  if (!same) {
    clear();
    addItems(want);
  }
  if (currentIndex() != model_.list_index()) setCurrentIndex(model_.list_index());
}

namespace {
// Focus changes that the window's own controls see as got/lost focus: not
// the list's popup opening or closing, and not another window or program
// being activated.
bool counts(const QFocusEvent *e) {
  return e->reason() != Qt::PopupFocusReason && e->reason() != Qt::ActiveWindowFocusReason;
}
}  // namespace

void pick_field::focusInEvent(QFocusEvent *e) {
  QComboBox::focusInEvent(e);
  if (counts(e)) guard_.run([this] { model_.got_focus(); });
}

void pick_field::focusOutEvent(QFocusEvent *e) {
  QComboBox::focusOutEvent(e);
  if (counts(e)) guard_.run([this] { model_.lost_focus(); });
}

// ---- command_field ---------------------------------------------------------

command_field::command_field(command_button &model, event_guard &guard, QWidget *parent)
    : QPushButton(parent), model_(model), guard_(guard), bind_(*this, model, QPalette::Button, [this] {
        setText(to_qstring(model_.caption()));
      }) {
  setAutoDefault(false);
  connect(this, &QPushButton::clicked, this, [this] { guard_.run([this] { model_.click(); }); });
  bind_.apply_all();
}

// ---- progress_strip --------------------------------------------------------

progress_strip::progress_strip(progress &model, QWidget *parent) : QProgressBar(parent), model_(model) {
  setObjectName("download_progress");
  setRange(0, 1000);
  setTextVisible(false);
  setFocusPolicy(Qt::NoFocus);
  token_ = model_.observe([this](const progress &) { apply(); });
  apply();
}

progress_strip::~progress_strip() { model_.unobserve(token_); }

void progress_strip::apply() {
  // Only visible steps repaint: a transfer may report many small ones.
  const bool shown = model_.active();
  const int v = model_.permille();
  bool changed = false;
  if (isHidden() == shown) {
    setVisible(shown);
    changed = true;
  }
  if (value() != v) {
    setValue(v);
    changed = true;
  }
  if (changed && shown && isVisible()) repaint();
}

}  // namespace talmer::ui::qt
