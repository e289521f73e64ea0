#include "ui/qt/main_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <map>

#include "ui/qt/text.h"
#include "ui/qt/widgets.h"

namespace talmer::ui::qt {

namespace {

constexpr rgb window_grey{112, 112, 112};

struct place {
  const char *name;
  int element;  // which rectangle of a shape with several
  QRect rect;   // in pixels of the client area
  Qt::Alignment align;
};

constexpr Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment centre = Qt::AlignCenter;
constexpr Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;

// The arrangement of the window, top to bottom: the heading with the version
// under it; the white frame with the source files; the destination panel on
// the left with the two large buttons under it, the time estimate, swap,
// conversion and link panels on the right; the message panel at the bottom.
const place arrangement[] = {
    {"title", 0, {8, 4, 512, 22}, centre},
    {"Version", 0, {204, 27, 120, 12}, centre},

    {"dest_bkgd", 0, {8, 42, 512, 156}, left},
    {"clearsrc", 0, {16, 49, 80, 24}, left},
    {"Label1", 0, {160, 51, 208, 20}, centre},
    {"Refresh_files", 0, {432, 49, 80, 24}, left},
    {"Select_I", 0, {16, 92, 136, 26}, left},
    {"lblSource_I", 0, {160, 78, 160, 15}, left},
    {"I_source", 0, {160, 94, 352, 21}, left},
    {"I_length", 0, {160, 117, 84, 16}, right},
    {"lbl_I_length", 0, {244, 117, 48, 16}, centre},
    {"Select_Q", 0, {16, 152, 136, 26}, left},
    {"lblSource_Q", 0, {160, 138, 160, 15}, left},
    {"Q_source", 0, {160, 154, 352, 21}, left},
    {"Q_length", 0, {160, 177, 84, 16}, right},
    {"lbl_Q_length", 0, {244, 177, 48, 16}, centre},
    {"auto_find_q", 0, {404, 177, 18, 16}, left},
    {"Auto_Find_Q_Lbl", 0, {422, 177, 90, 16}, left},

    {"Shape1", 0, {8, 204, 204, 96}, left},
    {"lblDestination", 0, {16, 209, 188, 15}, left},
    {"destination", 0, {16, 226, 188, 21}, left},
    {"points", 0, {16, 252, 84, 16}, right},
    {"lbl_points", 0, {100, 252, 50, 16}, centre},
    {"Auto_name", 0, {16, 276, 18, 16}, left},
    {"Auto_Name_Lbl", 0, {34, 276, 84, 16}, left},
    {"Start_dwnld", 0, {8, 306, 134, 38}, left},
    {"PgmExit", 0, {148, 306, 64, 38}, left},

    {"Shape2", 0, {220, 204, 300, 52}, left},
    {"lbl_dwnld", 0, {228, 208, 200, 15}, left},
    {"dwnldtime", 0, {228, 225, 84, 16}, right},
    {"lbl_dwnldtime", 0, {312, 225, 60, 16}, centre},
    {"Label2", 0, {228, 243, 150, 11}, left},

    {"Shape4", 0, {220, 262, 108, 40}, left},
    {"ByteSwap", 0, {226, 265, 96, 14}, left},
    {"Swap", 0, {226, 280, 96, 20}, left},
    {"Shape4", 1, {220, 306, 108, 40}, left},
    {"Cvrt_wfm", 0, {226, 309, 96, 14}, left},
    {"convert_wfm", 0, {226, 324, 96, 20}, left},

    {"Shape3", 0, {334, 262, 186, 84}, left},
    {"corvaneib", 0, {342, 267, 100, 18}, left},
    {"serial", 0, {444, 267, 70, 18}, left},
    {"lblCOMM", 0, {342, 292, 170, 14}, left},
    {"Talmerid", 0, {342, 310, 120, 20}, left},

    {"msgsbkgd", 0, {8, 350, 512, 68}, left},
    {"Messages", 0, {14, 353, 500, 56}, centre},
};

const QRect progress_place{24, 411, 480, 4};

QString element_name(const std::string &name, int element) {
  return element == 0 ? to_qstring(name) : to_qstring(name) + "_" + QString::number(element);
}

}  // namespace

main_window::main_window(TALMER_ARB &model, platform::real_os *os, QWidget *parent)
    : QWidget(parent), w_(model), guard_(model) {
  setWindowTitle(TALMER_ARB::window_title);
  setFixedSize(client_width, client_height);
  QPalette p = palette();
  p.setColor(QPalette::Window, to_qcolor(window_grey));
  setPalette(p);
  setAutoFillBackground(true);
  QFont f(QStringLiteral("Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(8.25);
  f.setBold(true);
  setFont(f);
  build();
  if (os != nullptr) guard_.install(*os, this);
}

main_window::~main_window() {
  guard_.uninstall();
  // The widgets hold the guard: let them go while it is still there.
  const auto kids = findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
  qDeleteAll(kids);
}

void main_window::build() {
  std::map<std::string, control *> by_name;
  for (control *c : w_.controls()) by_name[c->name()] = c;

  // Shapes first, so that every other control is drawn over them.
  for (bool shapes : {true, false}) {
    for (const place &pl : arrangement) {
      control *c = by_name.at(pl.name);
      if ((c->kind() == control_kind::shape) != shapes) continue;
      QWidget *widget = nullptr;
      switch (c->kind()) {
        case control_kind::shape:
          widget = new rounded_shape(static_cast<shape &>(*c), this);
          break;
        case control_kind::label: {
          auto *l = new caption_label(static_cast<label &>(*c), guard_, this);
          l->setAlignment(pl.align);
          widget = l;
          break;
        }
        case control_kind::text_box:
          widget = new text_field(static_cast<text_box &>(*c), guard_, this);
          break;
        case control_kind::check_box:
          widget = new check_field(static_cast<check_box &>(*c), guard_, this);
          break;
        case control_kind::option_button:
          widget = new option_field(static_cast<option_button &>(*c), guard_, this);
          break;
        case control_kind::pick_list:
          widget = new pick_field(static_cast<pick_list &>(*c), guard_, this);
          break;
        case control_kind::command_button:
          widget = new command_field(static_cast<command_button &>(*c), guard_, this);
          break;
        case control_kind::serial_port:
          break;
      }
      if (widget == nullptr) continue;
      widget->setObjectName(element_name(pl.name, pl.element));
      widget->setGeometry(pl.rect);
    }
  }

  auto *bar = new progress_strip(w_.download_progress, this);
  bar->setGeometry(progress_place);
  bar->raise();

  // The keyboard focus order; Qt skips the disabled controls.
  QWidget *previous = nullptr;
  for (control *c : w_.focus_order()) {
    QWidget *widget = widget_for(c->name());
    if (widget == nullptr) continue;
    if (previous != nullptr) setTabOrder(previous, widget);
    previous = widget;
  }
}

QWidget *main_window::widget_for(const std::string &name, int element) const {
  return findChild<QWidget *>(element_name(name, element), Qt::FindDirectChildrenOnly);
}

bool main_window::load() {
  guard_.run([this] { w_.Form_Load(); });
  if (end_status()) return false;
  // The focus starts on the first control of the focus order that takes it.
  for (control *c : w_.focus_order()) {
    if (QWidget *widget = widget_for(c->name()); widget != nullptr && widget->isEnabled()) {
      widget->setFocus(Qt::OtherFocusReason);
      break;
    }
  }
  return true;
}

void main_window::closeEvent(QCloseEvent *e) {
  if (!end_status()) guard_.run([this] { w_.Form_Unload(); });
  // The window goes only when the program ends.
  if (end_status()) e->accept();
  else e->ignore();
}

}  // namespace talmer::ui::qt
