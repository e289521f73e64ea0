// The file chooser model: the path join, the lists, OK and Cancel, and the
// selection that persists from one showing to the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/fake_os.h"
#include "ui/file_chooser.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;
using talmer::platform::dir_entry;
using talmer::platform::fake_os;

TEST(chooser_paths, one_separator_between_folder_and_file) {
  EXPECT_EQ(join_path("/", "A.BIN"), "/A.BIN");
  EXPECT_EQ(join_path("/data", "A.BIN"), "/data/A.BIN");
  EXPECT_EQ(join_path("/media/usb", "w.txt"), "/media/usb/w.txt");
  EXPECT_EQ(parent_folder("/data/wave"), "/data");
  EXPECT_EQ(parent_folder("/data"), "/");
  EXPECT_EQ(parent_folder("/"), "/");
  EXPECT_EQ(normal_folder("/data//wave/", "/"), "/data/wave");
  EXPECT_EQ(normal_folder("../x/./y", "/data/wave"), "/data/x/y");
  EXPECT_EQ(normal_folder("/..", "/"), "/");
}

namespace {

struct chooser_fixture : ::testing::Test {
  fake_os os;
  TALMER_ARB w{os};
  Filename chooser{w};
  int hides = 0;

  void SetUp() override {
    os.use_real_files = false;
    os.cwd = "/data";
    os.drive_list = {"/", "/media/usb"};
    os.directories["/"] = {{"data", true}, {"A.BIN", false}, {".hidden", false}, {"etc", true}};
    os.directories["/data"] = {{"wave", true}, {"b.txt", false}, {"a.bin", false}, {"C.wfm", false}};
    os.directories["/data/wave"] = {{"sig_i.bin", false}};
    os.directories["/etc"] = {};
    os.directories["/media/usb"] = {{"usb.bin", false}};
    chooser.on_hide = [this] { ++hides; };
  }
  int file_index(const std::string &name) {
    const auto &f = chooser.files();
    auto it = std::find(f.begin(), f.end(), name);
    return it == f.end() ? -1 : static_cast<int>(it - f.begin());
  }
  std::vector<std::string> folder_names() {
    std::vector<std::string> r;
    for (const auto &i : chooser.folder_items()) r.push_back(std::string(static_cast<std::size_t>(i.depth), ' ') + i.name);
    return r;
  }
};

}  // namespace

TEST_F(chooser_fixture, first_showing_lists_the_current_folder) {
  chooser.show();
  EXPECT_TRUE(chooser.visible());
  EXPECT_EQ(chooser.drive(), "/");
  EXPECT_EQ(chooser.folder(), "/data");
  EXPECT_EQ(chooser.file_folder(), "/data");
  EXPECT_EQ(chooser.files(), (std::vector<std::string>{"a.bin", "b.txt", "C.wfm"}));
  EXPECT_EQ(folder_names(), (std::vector<std::string>{"/", " data", "  wave"}));
  EXPECT_EQ(chooser.folder_index(), 1);
  EXPECT_EQ(chooser.file_index(), -1);
}

TEST_F(chooser_fixture, ok_returns_the_full_path_with_one_separator) {
  chooser.show();
  chooser.open_folder("/");
  EXPECT_EQ(chooser.files(), (std::vector<std::string>{"A.BIN"})) << "hidden files are left out";
  chooser.select_file(file_index("A.BIN"));
  chooser.Done_Click();
  EXPECT_EQ(w.getfile, "/A.BIN");
  EXPECT_FALSE(chooser.visible());
  EXPECT_EQ(hides, 1);

  chooser.show();
  chooser.open_folder("/data");
  chooser.select_file(file_index("a.bin"));
  chooser.File1_DblClick();  // as OK
  EXPECT_EQ(w.getfile, "/data/a.bin");
  EXPECT_FALSE(chooser.visible());
}

TEST_F(chooser_fixture, ok_without_a_selection_returns_the_previous_result) {
  chooser.show();
  chooser.Done_Click();
  EXPECT_EQ(w.getfile, "") << "nothing chosen yet";
  chooser.show();
  chooser.select_file(file_index("b.txt"));
  chooser.Done_Click();
  chooser.show();
  chooser.open_folder("/data/wave");  // a new folder clears the file selection
  chooser.Done_Click();
  EXPECT_EQ(w.getfile, "/data/b.txt");
  chooser.show();
  chooser.Cancel_Click();
  EXPECT_EQ(w.getfile, "");
  chooser.show();
  chooser.Done_Click();
  EXPECT_EQ(w.getfile, "") << "after a Cancel";
}

TEST_F(chooser_fixture, the_selection_persists_and_new_files_appear) {
  chooser.show();
  chooser.open_folder("wave");  // relative to the folder shown
  chooser.select_file(file_index("sig_i.bin"));
  chooser.Done_Click();
  os.directories["/data/wave"].push_back({"sig_q.bin", false});
  chooser.show();
  EXPECT_EQ(chooser.folder(), "/data/wave");
  EXPECT_EQ(chooser.files(), (std::vector<std::string>{"sig_i.bin", "sig_q.bin"}));
  EXPECT_EQ(chooser.file_index(), file_index("sig_i.bin"));
}

TEST_F(chooser_fixture, drives_keep_their_own_current_folder) {
  chooser.show();
  chooser.choose_drive("/media/usb");
  EXPECT_EQ(chooser.folder(), "/media/usb");
  EXPECT_EQ(chooser.files(), (std::vector<std::string>{"usb.bin"}));
  chooser.choose_drive("/");
  EXPECT_EQ(chooser.folder(), "/data") << "back to the folder last shown on that drive";
}

TEST_F(chooser_fixture, a_folder_that_cannot_be_read_is_not_entered) {
  chooser.show();
  chooser.open_folder("/locked");
  EXPECT_EQ(chooser.folder(), "/data");
  EXPECT_EQ(chooser.notice(), "The folder /locked cannot be opened.");
  os.drive_list.push_back("/media/cd");
  chooser.Cancel_Click();
  chooser.show();
  chooser.choose_drive("/media/cd");  // not ready
  EXPECT_EQ(chooser.drive(), "/");
  EXPECT_EQ(chooser.folder(), "/data");
  chooser.open_folder("/etc");
  EXPECT_EQ(chooser.notice(), "");
  EXPECT_TRUE(chooser.files().empty());
}

TEST_F(chooser_fixture, an_unreadable_start_folder_falls_back_to_the_root) {
  os.cwd = "/gone";
  chooser.show();
  EXPECT_EQ(chooser.folder(), "/");
}

TEST_F(chooser_fixture, select_i_through_the_model) {
  // The window's Select I with the model as its chooser (the dialog does
  // the same around a modal loop).
  os.files["/data/a.bin"] = 64;
  w.Form_Load();
  w.show_file_chooser = [this] {
    chooser.show();
    chooser.select_file(file_index("a.bin"));
    chooser.Done_Click();
  };
  w.Select_I.click();
  EXPECT_EQ(w.I_source.text(), "/data/a.bin");
  EXPECT_EQ(w.I_length.caption(), "64");
  EXPECT_EQ(w.i_points, 32);
  w.show_file_chooser = [this] {
    chooser.show();
    chooser.Cancel_Click();
  };
  w.Select_I.click();
  EXPECT_EQ(w.I_source.text(), "/data/a.bin") << "Cancel leaves the path";
}
