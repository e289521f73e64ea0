// The window's controls as small toolkit-free models. A view (the Qt window,
// the headless front end, a test) observes them; the reactions of the window
// are attached as plain callbacks, fired the way the toolkit would fire them:
// a caption or text change only when the value really changes, an option
// button's click only when it becomes selected.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace talmer::ui {

struct rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const rgb &, const rgb &) = default;
};

struct font_spec {
  double points = 8.25;
  bool bold = true;
  friend bool operator==(const font_spec &, const font_spec &) = default;
};

enum class control_kind {
  label,
  text_box,
  check_box,
  option_button,
  pick_list,
  command_button,
  shape,
  serial_port,
};

// What changed on a control, for its observers.
enum class change {
  content,   // caption, text, value, selection or list entries
  enabled,
  colour,
  refresh,   // an explicit repaint request while the thread is busy
};

class control {
 public:
  using observer = std::function<void(control &, change)>;

  control(std::string name, control_kind kind) : name_(std::move(name)), kind_(kind) {}
  virtual ~control() = default;
  control(const control &) = delete;
  control &operator=(const control &) = delete;

  const std::string &name() const { return name_; }
  control_kind kind() const { return kind_; }

  bool enabled() const { return enabled_; }
  void set_enabled(bool e);

  std::optional<rgb> back_color() const { return back_color_; }
  void set_back_color(std::optional<rgb> c);
  font_spec font() const { return font_; }
  void set_font(font_spec f) { font_ = f; }
  bool bordered() const { return bordered_; }
  void set_bordered(bool b) { bordered_ = b; }

  // Asks every observer to repaint the control at once.
  void refresh() { notify(change::refresh); }

  // Observers are called in the order they were added; the token removes one.
  int observe(observer o);
  void unobserve(int token);

 protected:
  void notify(change c);

 private:
  std::string name_;
  control_kind kind_;
  bool enabled_ = true;
  std::optional<rgb> back_color_;
  font_spec font_;
  bool bordered_ = false;
  std::vector<std::pair<int, observer>> observers_;
  int next_token_ = 1;
};

// A label. Its caption change fires `on_change`; a mouse press fires
// `on_mouse_down`; a click fires `on_click`.
class label : public control {
 public:
  label(std::string name, std::string caption) : control(std::move(name), control_kind::label), caption_(std::move(caption)) {}
  const std::string &caption() const { return caption_; }
  void set_caption(const std::string &c);
  void mouse_down() { if (on_mouse_down) on_mouse_down(); }
  void click() { if (on_click) on_click(); }

  bool centred = false;
  bool word_wrap = false;
  std::function<void()> on_change, on_mouse_down, on_click;

 private:
  std::string caption_;
};

class text_box : public control {
 public:
  text_box(std::string name, std::string text) : control(std::move(name), control_kind::text_box), text_(std::move(text)) {}
  const std::string &text() const { return text_; }
  // Sets the text; `on_change` runs when it differs from the old one.
  void set_text(const std::string &t);
  void double_click() { if (enabled() && on_dbl_click) on_dbl_click(); }
  std::function<void()> on_change, on_dbl_click;

 private:
  std::string text_;
};

class check_box : public control {
 public:
  check_box(std::string name, std::string caption, bool checked)
      : control(std::move(name), control_kind::check_box), caption_(std::move(caption)), checked_(checked) {}
  const std::string &caption() const { return caption_; }
  bool checked() const { return checked_; }
  void set_checked(bool c);

 private:
  std::string caption_;
  bool checked_;
};

// An option button; the buttons of one group exclude each other.
class option_button : public control {
 public:
  option_button(std::string name, std::string caption, bool selected)
      : control(std::move(name), control_kind::option_button), caption_(std::move(caption)), selected_(selected) {}
  const std::string &caption() const { return caption_; }
  bool selected() const { return selected_; }
  // Selecting deselects the rest of the group and, when the button was not
  // selected before, fires `on_click`. Deselecting fires nothing.
  void set_selected(bool s);
  void mouse_down() { if (enabled() && on_mouse_down) on_mouse_down(); }
  void join(std::vector<option_button *> group) { group_ = std::move(group); }
  std::function<void()> on_click, on_mouse_down;

 private:
  std::string caption_;
  bool selected_;
  std::vector<option_button *> group_;
};

// A drop-down list that accepts only its own entries.
class pick_list : public control {
 public:
  pick_list(std::string name, std::vector<std::string> items)
      : control(std::move(name), control_kind::pick_list), items_(std::move(items)) {}
  const std::vector<std::string> &items() const { return items_; }
  int list_index() const { return index_; }
  // The selected entry's text; "" when nothing is selected.
  std::string text() const;
  // Selects the entry that matches `t` without regard to letter case;
  // returns false (and changes nothing) when no entry matches.
  bool set_text(const std::string &t);
  void set_list_index(int i);
  void clear();
  void add_item(const std::string &item);
  // A choice made by the user: selects the entry and fires `on_click`.
  void choose(int i);
  bool choose_text(const std::string &t);
  void got_focus() { if (on_got_focus) on_got_focus(); }
  void lost_focus() { if (on_lost_focus) on_lost_focus(); }
  std::function<void()> on_click, on_got_focus, on_lost_focus;

 private:
  std::vector<std::string> items_;
  int index_ = -1;
};

class command_button : public control {
 public:
  command_button(std::string name, std::string caption)
      : control(std::move(name), control_kind::command_button), caption_(std::move(caption)) {}
  const std::string &caption() const { return caption_; }
  void click() { if (enabled() && on_click) on_click(); }
  std::function<void()> on_click;

 private:
  std::string caption_;
};

// A rounded rectangle (or, for Shape4, two of them) with a fill colour.
class shape : public control {
 public:
  shape(std::string name, rgb fill, int elements = 1)
      : control(std::move(name), control_kind::shape), fill_(fill), elements_(elements) {}
  rgb fill() const { return fill_; }
  void set_fill(rgb c);
  int elements() const { return elements_; }
  std::optional<rgb> border;

 private:
  rgb fill_;
  int elements_;
};

}  // namespace talmer::ui
