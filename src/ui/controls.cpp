#include "ui/controls.h"

#include <algorithm>
#include <cctype>

namespace talmer::ui {

namespace {
bool same_ignoring_case(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}
}  // namespace

void control::set_enabled(bool e) {
  if (enabled_ == e) return;
  enabled_ = e;
  notify(change::enabled);
}

void control::set_back_color(std::optional<rgb> c) {
  if (back_color_ == c) return;
  back_color_ = c;
  notify(change::colour);
}

int control::observe(observer o) {
  int t = next_token_++;
  observers_.emplace_back(t, std::move(o));
  return t;
}

void control::unobserve(int token) {
  std::erase_if(observers_, [token](const auto &p) { return p.first == token; });
}

void control::notify(change c) {
  // Copy: an observer may add or remove observers.
  auto obs = observers_;
  for (auto &[token, o] : obs) o(*this, c);
}

void label::set_caption(const std::string &c) {
  if (caption_ == c) return;
  caption_ = c;
  notify(change::content);
  if (on_change) on_change();
}

void text_box::set_text(const std::string &t) {
  if (text_ == t) return;
  text_ = t;
  notify(change::content);
  if (on_change) on_change();
}

void check_box::set_checked(bool c) {
  if (checked_ == c) return;
  checked_ = c;
  notify(change::content);
}

void option_button::set_selected(bool s) {
  if (selected_ == s) return;
  selected_ = s;
  if (s) {
    for (auto *other : group_)
      if (other != this) other->set_selected(false);
  }
  notify(change::content);
  if (s && on_click) on_click();
}

std::string pick_list::text() const {
  if (index_ < 0 || index_ >= static_cast<int>(items_.size())) return "";
  return items_[static_cast<size_t>(index_)];
}

bool pick_list::set_text(const std::string &t) {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (same_ignoring_case(items_[i], t)) {
      set_list_index(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

void pick_list::set_list_index(int i) {
  if (i < -1 || i >= static_cast<int>(items_.size())) return;
  if (index_ == i) return;
  index_ = i;
  notify(change::content);
}

void pick_list::clear() {
  items_.clear();
  index_ = -1;
  notify(change::content);
}

void pick_list::add_item(const std::string &item) {
  items_.push_back(item);
  notify(change::content);
}

void pick_list::choose(int i) {
  if (!enabled() || i < 0 || i >= static_cast<int>(items_.size())) return;
  set_list_index(i);
  if (on_click) on_click();
}

bool pick_list::choose_text(const std::string &t) {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (same_ignoring_case(items_[i], t)) {
      choose(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

void shape::set_fill(rgb c) {
  if (fill_ == c) return;
  fill_ = c;
  notify(change::colour);
}

}  // namespace talmer::ui
