#include "ui/qt/file_chooser_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <memory>

#include "ui/talmer_arb.h"

namespace talmer::ui::qt {

namespace {

constexpr int twips_per_pixel = 15;

QString qs(const std::string &s) { return QString::fromStdString(s); }

QString css(rgb c) { return QString("rgb(%1,%2,%3)").arg(c.r).arg(c.g).arg(c.b); }

}  // namespace

file_chooser_dialog::file_chooser_dialog(Filename &model, QWidget *parent) : QDialog(parent), model_(model) {
  build();
  model_.on_hide = [this] {
    if (isVisible()) QDialog::done(QDialog::Accepted);
  };
  model_.on_change = [this] { show_model(); };
}

file_chooser_dialog::~file_chooser_dialog() {
  model_.on_hide = nullptr;
  model_.on_change = nullptr;
}

void file_chooser_dialog::build() {
  setWindowTitle(Filename::window_title);
  setModal(true);
  setFixedSize(Filename::client_width_twips / twips_per_pixel, Filename::client_height_twips / twips_per_pixel);
  setStyleSheet(QString("QDialog { background: %1; }").arg(css(Filename::window_colour)));

  label1_ = new QLabel(Filename::label_caption, this);
  label1_->setObjectName("Label1");
  label1_->setAlignment(Qt::AlignCenter);
  label1_->setFrameShape(QFrame::Box);
  label1_->setWordWrap(true);
  QFont big = label1_->font();
  big.setPointSizeF(9.75);
  big.setBold(true);
  label1_->setFont(big);
  label1_->setStyleSheet(QString("background: %1;").arg(css(Filename::label_colour)));

  const QString list_style = QString("background: %1;").arg(css(Filename::list_colour));
  drive1_ = new QComboBox(this);
  drive1_->setObjectName("Drive1");
  drive1_->setStyleSheet(list_style);
  file1_ = new QListWidget(this);
  file1_->setObjectName("File1");
  file1_->setStyleSheet(list_style);
  dir1_ = new QListWidget(this);
  dir1_->setObjectName("Dir1");
  dir1_->setStyleSheet(list_style);
  dir1_->installEventFilter(this);
  done_ = new QPushButton("OK", this);
  done_->setObjectName("Done");
  done_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("Cancel");
  cancel_->setStyleSheet(QString("background: %1;").arg(css(Filename::cancel_colour)));

  QFont bold = font();
  bold.setPointSizeF(8.25);
  bold.setBold(true);
  for (QWidget *wdg : std::initializer_list<QWidget *>{drive1_, file1_, dir1_, done_, cancel_}) wdg->setFont(bold);

  auto *grid = new QGridLayout(this);
  grid->setContentsMargins(8, 8, 8, 8);
  grid->addWidget(label1_, 0, 0, 1, 2);
  grid->addWidget(file1_, 1, 0, 2, 1);
  grid->addWidget(drive1_, 1, 1);
  grid->addWidget(dir1_, 2, 1);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(done_);
  buttons->addWidget(cancel_);
  grid->addLayout(buttons, 3, 0, 1, 2);
  // Two columns of equal width, whatever the lists hold.
  const int column = (width() - 8 * 2 - grid->horizontalSpacing()) / 2;
  for (QWidget *wdg : std::initializer_list<QWidget *>{file1_, drive1_, dir1_}) wdg->setFixedWidth(column);
  drive1_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  grid->setRowStretch(2, 1);

  // Tab order: Drive1, File1, Done, Cancel, Dir1.
  setTabOrder(drive1_, file1_);
  setTabOrder(file1_, done_);
  setTabOrder(done_, cancel_);
  setTabOrder(cancel_, dir1_);

  connect(drive1_, &QComboBox::activated, this, [this](int index) {
    if (updating_ || index < 0) return;
    model_.choose_drive(drive1_->itemData(index).toString().toStdString());
  });
  connect(dir1_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
    if (item != nullptr) model_.open_folder(item->data(Qt::UserRole).toString().toStdString());
  });
  connect(file1_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!updating_) model_.select_file(row);
  });
  connect(file1_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
    model_.select_file(file1_->row(item));
    model_.File1_DblClick();
  });
  connect(done_, &QPushButton::clicked, this, [this] { model_.Done_Click(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { model_.Cancel_Click(); });
}

void file_chooser_dialog::show_model() {
  updating_ = true;
  drive1_->clear();
  for (const auto &d : model_.drives()) drive1_->addItem(qs(d), qs(d));
  drive1_->setCurrentIndex(drive1_->findData(qs(model_.drive())));

  dir1_->clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  int k = 0;
  for (const auto &item : model_.folder_items()) {
    auto *row = new QListWidgetItem(k <= model_.folder_index() ? open : closed,
                                    QString(item.depth * 2, ' ') + qs(item.name), dir1_);
    row->setData(Qt::UserRole, qs(item.path));
    ++k;
  }
  dir1_->setCurrentRow(model_.folder_index());

  file1_->clear();
  for (const auto &f : model_.files()) file1_->addItem(qs(f));
  file1_->setCurrentRow(model_.file_index());
  if (model_.file_index() < 0) file1_->clearSelection();

  label1_->setText(model_.notice().empty() ? QString(Filename::label_caption) : qs(model_.notice()));
  updating_ = false;
}

void file_chooser_dialog::run() {
  model_.show();
  show_model();
  // A list that gets the focus without a current row makes its first row
  // current (and so selected): start there only when a file is selected.
  if (model_.file_index() >= 0) file1_->setFocus();
  else drive1_->setFocus();
  exec();
}

void file_chooser_dialog::reject() {
  if (model_.visible()) model_.Cancel_Click();
  if (isVisible()) QDialog::done(QDialog::Rejected);
}

bool file_chooser_dialog::eventFilter(QObject *watched, QEvent *event) {
  // Enter in the folder list opens the folder instead of pressing "OK".
  if (watched == dir1_ && event->type() == QEvent::KeyPress) {
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (QListWidgetItem *item = dir1_->currentItem())
        model_.open_folder(item->data(Qt::UserRole).toString().toStdString());
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void install_file_chooser(TALMER_ARB &w, QWidget *parent, std::function<void()> after_modal_loop) {
  struct chooser {
    std::unique_ptr<Filename> model;
    QPointer<file_chooser_dialog> dialog;
    std::unique_ptr<file_chooser_dialog> owned;  // when there is no parent to own it
    chooser() = default;
    chooser(const chooser &) = delete;
    chooser &operator=(const chooser &) = delete;
    ~chooser() {
      // The dialog goes before the model it shows.
      if (owned) owned.reset();
      else delete dialog.data();
    }
  };
  auto c = std::make_shared<chooser>();
  QPointer<QWidget> owner(parent);
  w.show_file_chooser = [c, &w, owner, parent, after = std::move(after_modal_loop)] {
    if (!c->model) c->model = std::make_unique<Filename>(w);
    if (!c->dialog) {
      if (parent != nullptr && owner.isNull()) return;  // the window is gone
      auto *d = new file_chooser_dialog(*c->model, parent);
      c->dialog = d;
      if (parent == nullptr) c->owned.reset(d);
    }
    c->dialog->run();
    if (after) after();
  };
}

}  // namespace talmer::ui::qt
