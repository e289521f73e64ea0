#include "ui/file_chooser.h"

#include <algorithm>

#include "ui/talmer_arb.h"

namespace talmer::ui {

std::string join_path(std::string_view folder, std::string_view file) {
  std::string r(folder);
  if (r.empty() || r.back() != '/') r += '/';
  r += file;
  return r;
}

std::string normal_folder(std::string_view path, std::string_view base) {
  std::string full = !path.empty() && path.front() == '/' ? std::string(path) : join_path(base, path);
  std::vector<std::string> parts;
  std::size_t k = 0;
  while (k <= full.size()) {
    std::size_t e = full.find('/', k);
    if (e == std::string::npos) e = full.size();
    std::string part = full.substr(k, e - k);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    k = e + 1;
  }
  std::string r;
  for (const auto &p : parts) r += "/" + p;
  return r.empty() ? "/" : r;
}

std::string parent_folder(std::string_view folder) {
  std::string f = normal_folder(folder, "/");
  const std::size_t slash = f.rfind('/');
  return slash == 0 ? "/" : f.substr(0, slash);
}

namespace {

bool name_less(const std::string &a, const std::string &b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  const bool lt = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                               [&](char x, char y) { return lower(x) < lower(y); });
  const bool gt = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                               [&](char x, char y) { return lower(x) < lower(y); });
  return lt || (!gt && a < b);
}

}  // namespace

Filename::Filename(TALMER_ARB &main) : os_(main.os()), getfile_(main.getfile) {}

std::string Filename::drive_of(const std::string &path) const {
  std::string best = "/";
  for (const auto &d : drives_) {
    const bool under = path == d || (path.rfind(d, 0) == 0 && (d.back() == '/' || path[d.size()] == '/'));
    if (under && d.size() > best.size()) best = d;
  }
  return best;
}

bool Filename::read_folder(const std::string &path, std::vector<std::string> &subfolders,
                           std::vector<std::string> &files) {
  auto entries = os_.list_directory(path);
  if (!entries) return false;
  subfolders.clear();
  files.clear();
  for (auto &e : *entries) {
    if (e.name.empty() || e.name[0] == '.') continue;
    (e.is_dir ? subfolders : files).push_back(e.name);
  }
  std::sort(subfolders.begin(), subfolders.end(), name_less);
  std::sort(files.begin(), files.end(), name_less);
  return true;
}

void Filename::show() {
  if (!created_) {
    created_ = true;
    drives_ = os_.drives();
    if (drives_.empty()) drives_.push_back("/");
    std::string start = os_.current_directory();
    start = start.empty() ? std::string("/") : normal_folder(start, "/");
    drive_ = drive_of(start);
    open_folder(start);
    if (folder_.empty()) open_folder(drive_);
    if (folder_.empty()) open_folder("/");
  } else {
    // Re-read the lists; keep the selected file when it is still there.
    const std::string selected = file_index_ >= 0 ? files_[static_cast<std::size_t>(file_index_)] : "";
    const std::string keep = folder_;
    drives_ = os_.drives();
    if (drives_.empty()) drives_.push_back("/");
    open_folder(keep);
    auto it = std::find(files_.begin(), files_.end(), selected);
    if (!selected.empty() && it != files_.end()) file_index_ = static_cast<int>(it - files_.begin());
  }
  visible_ = true;
  changed();
}

void Filename::choose_drive(const std::string &drive) {
  if (drive == drive_) return;
  const std::string before = drive_;
  drive_ = drive;
  Drive1_Change();
  if (!notice_.empty()) drive_ = before;  // the drive could not be read
  changed();
}

void Filename::Drive1_Change() {
  auto it = drive_folder_.find(drive_);
  const std::string target = it != drive_folder_.end() ? it->second : drive_;
  open_folder(target);
}

void Filename::open_folder(const std::string &path) {
  const std::string target = normal_folder(path, folder_.empty() ? "/" : folder_);
  std::vector<std::string> subfolders, files;
  if (!read_folder(target, subfolders, files)) {
    notice_ = "The folder " + target + " cannot be opened.";
    changed();
    return;
  }
  notice_.clear();
  folder_ = target;
  drive_ = drive_of(folder_);
  drive_folder_[drive_] = folder_;

  folder_items_.clear();
  std::vector<std::string> chain;
  for (std::string f = folder_; ; f = parent_folder(f)) {
    chain.push_back(f);
    if (f == "/") break;
  }
  std::reverse(chain.begin(), chain.end());
  int depth = 0;
  for (const auto &f : chain) {
    const std::string name = f == "/" ? "/" : f.substr(f.rfind('/') + 1);
    folder_items_.push_back({name, f, depth++});
  }
  folder_index_ = static_cast<int>(folder_items_.size()) - 1;
  for (const auto &s : subfolders) folder_items_.push_back({s, join_path(folder_, s), depth});

  Dir1_Change(std::move(files));
  changed();
}

void Filename::Dir1_Change(std::vector<std::string> &&files) {
  // The file list follows the folder list; its selection starts empty.
  file_folder_ = folder_;
  files_ = std::move(files);
  file_index_ = -1;
}

void Filename::select_file(int index) {
  file_index_ = index >= 0 && index < static_cast<int>(files_.size()) ? index : -1;
  changed();
}

void Filename::File1_DblClick() { Done_Click(); }

void Filename::Done_Click() {
  if (file_index_ >= 0) getfile_ = join_path(file_folder_, files_[static_cast<std::size_t>(file_index_)]);
  hide();
}

void Filename::Cancel_Click() {
  getfile_ = "";
  hide();
}

void Filename::hide() {
  visible_ = false;
  if (on_hide) on_hide();
}

void Filename::changed() {
  if (on_change) on_change();
}

}  // namespace talmer::ui
