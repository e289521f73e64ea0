// The file chooser `Filename` ("Get Waveform Name to Download") as a
// toolkit-free model: a drive list, a folder list and a file list, "OK" and
// "Cancel". It writes the chosen path into the main window's `getfile`.
// Created once and then only hidden and shown again, so the drive, folder
// and file chosen last are where the user finds them next time.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "ui/controls.h"

namespace talmer::ui {

class TALMER_ARB;

// The path of `file` in `folder`, with exactly one "/" between them: a
// root folder ("/") already ends with the separator.
std::string join_path(std::string_view folder, std::string_view file);

// The folder that holds `folder` ("/" for a folder in the root and for the
// root itself).
std::string parent_folder(std::string_view folder);

// A folder path made plain: one "/" between names, none at the end except
// for the root, "." and ".." resolved; relative paths are taken from `base`.
std::string normal_folder(std::string_view path, std::string_view base);

class Filename {
 public:
  static constexpr const char *window_title = "Get Waveform Name to Download";
  static constexpr const char *label_caption = "Select a Waveform File";
  static constexpr int client_width_twips = 5670;
  static constexpr int client_height_twips = 4305;
  static constexpr rgb window_colour{0, 80, 112};
  static constexpr rgb list_colour{0, 192, 208};
  static constexpr rgb cancel_colour{224, 224, 224};
  static constexpr rgb label_colour{0, 160, 192};

  // One line of the folder list: the folders from the root down to the
  // current one, then the current folder's subfolders one level deeper.
  struct folder_item {
    std::string name;  // as shown ("/" for the root)
    std::string path;  // full path
    int depth = 0;
  };

  explicit Filename(TALMER_ARB &main);

  // Shows the chooser. The first time the lists show the program's current
  // drive and folder; later they show the last choice again, re-read so
  // that files made meanwhile appear.
  void show();
  bool visible() const { return visible_; }
  // Called when the chooser hides itself ("OK", "Cancel", a double-click).
  std::function<void()> on_hide;

  // Drive list (`Drive1`).
  const std::vector<std::string> &drives() const { return drives_; }
  const std::string &drive() const { return drive_; }
  // Chooses another drive: the folder list goes to that drive's current
  // folder (the one last shown on it, else its root).
  void choose_drive(const std::string &drive);

  // Folder list (`Dir1`).
  const std::string &folder() const { return folder_; }
  const std::vector<folder_item> &folder_items() const { return folder_items_; }
  // Index of the current folder in `folder_items`.
  int folder_index() const { return folder_index_; }
  // Opens a folder: the folder list and the file list show it. A folder
  // that cannot be read is not entered; `notice` then says so.
  void open_folder(const std::string &path);

  // File list (`File1`): every file of the folder (hidden dot-files left
  // out, as the toolkit's file lists leave hidden files out), sorted.
  const std::string &file_folder() const { return file_folder_; }
  const std::vector<std::string> &files() const { return files_; }
  int file_index() const { return file_index_; }
  // A single click: selects only (-1 for none).
  void select_file(int index);
  void File1_DblClick();

  // "OK": when a file is selected, `getfile` = its full path; the chooser
  // hides in every case (no selection leaves `getfile` as it was).
  void Done_Click();
  // "Cancel" (Escape, or closing the window): hides; `getfile` = "".
  void Cancel_Click();

  // Why the last drive or folder could not be opened; "" when it could.
  const std::string &notice() const { return notice_; }

  // Observers are told after every change of the lists or selection.
  std::function<void()> on_change;

 private:
  void Drive1_Change();
  // The file list follows the folder list (given its listing).
  void Dir1_Change(std::vector<std::string> &&files);
  void hide();
  void changed();
  bool read_folder(const std::string &path, std::vector<std::string> &subfolders, std::vector<std::string> &files);
  std::string drive_of(const std::string &path) const;

  platform::os &os_;
  std::string &getfile_;
  bool created_ = false;
  bool visible_ = false;
  std::vector<std::string> drives_;
  std::string drive_;
  std::map<std::string, std::string> drive_folder_;
  std::string folder_;
  std::vector<folder_item> folder_items_;
  int folder_index_ = -1;
  std::string file_folder_;
  std::vector<std::string> files_;
  int file_index_ = -1;
  std::string notice_;
};

}  // namespace talmer::ui
