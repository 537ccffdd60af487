#include "app/WebFTP00.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include "app/Warning01.h"
#include "app/WebSightEdit00.h"
#include "app/japanese_texts.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "app/trust_question.h"
#include "app/upload_progress.h"
#include "app/window_placement.h"
#include "ftp/dmFtp.h"
#include "sites/dmConfig.h"
#include "sites/site_list.h"
#include "update/update_check.h"
#include "upload/publish_job.h"
#include "upload/upload_job.h"

namespace tovra {

namespace {

QWidget* ColouredPanel(const char* name, QColor colour, QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(name);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, colour);
  palette.setColor(QPalette::WindowText, Qt::white);
  panel->setPalette(palette);
  return panel;
}

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QCheckBox* OptionBox(const char* name, const char* caption, QWidget* parent) {
  auto* box = Named(new QCheckBox(QStr(caption), parent), name);
  QPalette palette = box->palette();
  palette.setColor(QPalette::WindowText, Qt::white);
  box->setPalette(palette);
  // The options are hidden once the window shows; until then their captions
  // must not widen the window beyond its design size (or clamp a restored
  // placement).
  box->setMinimumWidth(1);
  return box;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  setWindowTitle(QStr("☆ホームページアップローダ      Tovra"));
  setFont(WindowFont());
  resize(781, 429);
  BuildControls();
  // FormCreate: the owned lists exist as members; the placement comes last.
  IniGT1.Loaded();
  RestorePlacement(IniGT1, "main", *this);
}

TForm1::~TForm1() {
  // A run still going is stopped and waited for before the window goes.
  if (upload_) {
    upload_->Abort();
    upload_.reset();
  }
  publish_.reset();  // cuts a publish under way short and waits for it
  // FormDestroy: the site list (reserved entry included) and the placement.
  if (!appFolderWritable_) return;  // said at start
  Guarded([this] {
    if (config_ != nullptr) SaveSiteList(ComboItems());
    StorePlacement(IniGT1, "main", *this);
  });
}

void TForm1::BuildControls() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Panel2 = ColouredPanel("Panel2", QColor(0x00, 0x80, 0x00), central);
  auto* top = new QHBoxLayout(Panel2);
  top->setContentsMargins(6, 4, 6, 4);
  ComboBox1 = Named(new QComboBox(Panel2), "ComboBox1");
  ComboBox1->addItem(QStr("新規登録"));
  ComboBox1->setMinimumWidth(220);
  Button3 = Named(new QPushButton(QStr("編集"), Panel2), "Button3");
  ComboBox3 = Named(new QComboBox(Panel2), "ComboBox3");
  ComboBox3->addItem(QStr("起動プログラム選択"));
  btnSubPGM = Named(new QPushButton(QStr("実行"), Panel2), "btnSubPGM");
  top->addWidget(ComboBox1);
  top->addWidget(Button3);
  top->addStretch(1);
  top->addWidget(ComboBox3);
  top->addWidget(btnSubPGM);
  layout->addWidget(Panel2);

  auto* middle = new QHBoxLayout;
  middle->setContentsMargins(4, 4, 4, 4);
  Splitter1 = Named(new QSplitter(Qt::Horizontal, central), "Splitter1");
  JamShellTree1 = Named(new TShellFolderTree(Splitter1), "JamShellTree1");
  JamShellList1 = Named(new TShellFileList(Splitter1), "JamShellList1");
  Splitter1->setStretchFactor(0, 2);
  Splitter1->setStretchFactor(1, 4);
  middle->addWidget(Splitter1, 7);

  Panel8 = Named(new QWidget(central), "Panel8");
  auto* panel8 = new QVBoxLayout(Panel8);
  panel8->setContentsMargins(0, 0, 0, 0);
  Panel9 = Named(new QLabel(Panel8), "Panel9");
  Panel9->setFrameShape(QFrame::Panel);
  CheckListBox1 = Named(new QListWidget(Panel8), "CheckListBox1");
  btUpdateCancel = Named(new QPushButton("Cancel", Panel8), "btUpdateCancel");
  panel8->addWidget(Panel9);
  panel8->addWidget(CheckListBox1, 1);
  panel8->addWidget(btUpdateCancel, 0, Qt::AlignRight);
  middle->addWidget(Panel8, 7);
  // Hidden from the start: a start-up that fails before its end must not
  // leave the update panel up (the upload would then send its ticked rows).
  Panel8->hide();

  auto* right = new QVBoxLayout;
  BitBtn1 = Named(new QPushButton(central), "BitBtn1");
  BitBtn1->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
  BitBtn1->setIconSize(QSize(32, 32));
  BitBtn1->setMinimumSize(56, 110);
  BitBtn1->setToolTip(QStr("アップロード"));
  right->addWidget(BitBtn1);
  right->addStretch(1);
  middle->addLayout(right);

  Memo1 = Named(new QPlainTextEdit(central), "Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  QPalette memo = Memo1->palette();
  memo.setColor(QPalette::Base, QColor(0x40, 0x40, 0x40));
  memo.setColor(QPalette::Text, QColor(0x00, 0xFF, 0x00));
  Memo1->setPalette(memo);
  Memo1->setPlainText(QStr("ファイル転送ステータス"));
  // The memo follows its newest line unless the user has scrolled up to read
  // an earlier one. The range grows after the text is laid out (later, and
  // again when a long line brings the horizontal bar), so it is followed
  // there rather than at each append.
  QScrollBar* memoBar = Memo1->verticalScrollBar();
  connect(memoBar, &QScrollBar::valueChanged, this,
          [this, memoBar](int value) { memoFollows_ = value >= memoBar->maximum(); });
  connect(memoBar, &QScrollBar::rangeChanged, this, [this, memoBar](int, int maximum) {
    if (memoFollows_) memoBar->setValue(maximum);
  });
  auto* memoColumn = new QVBoxLayout;
  memoColumn->addWidget(Memo1, 1);
  UploadProgress = new TUploadProgress(central);
  memoColumn->addWidget(UploadProgress);
  middle->addLayout(memoColumn, 3);
  layout->addLayout(middle, 1);

  Panel1 = ColouredPanel("Panel1", QColor(0x80, 0x80, 0x00), central);
  auto* bottom = new QHBoxLayout(Panel1);
  bottom->setContentsMargins(6, 4, 6, 4);
  btnUpdateCheck = Named(new QPushButton(QStr("更新チェック"), Panel1), "btnUpdateCheck");
  btnPublish = Named(new QPushButton(QStr("サイト公開"), Panel1), "btnPublish");
  ComboBox2 = Named(new QComboBox(Panel1), "ComboBox2");
  ComboBox2->addItem("*.htm*");
  cxOnly = OptionBox("cxOnly", "選択ﾌｧｲﾙだけ", Panel1);
  cxAncher = OptionBox("cxAncher", "アンカータグ対応", Panel1);
  cxFlashSOE = OptionBox("cxFlashSOE", "Flash SOE", Panel1);
  cxPopup = OptionBox("cxPopup", "Popup対応", Panel1);
  cxTopBunner = OptionBox("cxTopBunner", "Topバナー対応", Panel1);
  btnWebCheck = Named(new QPushButton(QStr("Webチェック"), Panel1), "btnWebCheck");
  btnWebCheck->setEnabled(false);
  btnAbort = Named(new QPushButton(QStr("転送中止"), Panel1), "btnAbort");
  btnAbort->setEnabled(false);
  bottom->addWidget(btnUpdateCheck);
  bottom->addWidget(btnPublish);
  bottom->addWidget(ComboBox2);
  for (QCheckBox* box : {cxOnly, cxAncher, cxFlashSOE, cxPopup, cxTopBunner}) bottom->addWidget(box);
  bottom->addStretch(1);
  bottom->addWidget(btnWebCheck);
  bottom->addWidget(btnAbort);
  layout->addWidget(Panel1);

  setCentralWidget(central);
  // The eight controls that FormShow hides must not widen the window beyond
  // its 781 pixels before they go.
  for (QWidget* w : std::initializer_list<QWidget*>{ComboBox3, btnSubPGM, ComboBox2, cxOnly, cxAncher, cxFlashSOE,
                                                    cxPopup, cxTopBunner})
    w->setSizePolicy(QSizePolicy::Ignored, w->sizePolicy().verticalPolicy());
}

void TForm1::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    TMessageBoxes::Show(this, TMessageKind::Warning, e.what());
  }
}

void TForm1::OnUiThread(std::function<void()> fn) {
  if (QThread::currentThread() == thread()) {
    fn();
  } else {
    // Queued calls onto the window's thread keep the order they were made in.
    PostToThreadOf(this, std::move(fn));
  }
}

std::string TForm1::ComboText(QComboBox* box) const { return ToCp932(box->currentText()); }

TStringList TForm1::ComboItems() const {
  TStringList items;
  for (int i = 0; i < ComboBox1->count(); ++i) items.Add(ToCp932(ComboBox1->itemText(i)));
  return items;
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // After the window is on screen, so that a dialog opened by FormShow has
  // its owner visible.
  QMetaObject::invokeMethod(
      this, [this] { Guarded([this] { FormShow(); }); }, Qt::QueuedConnection);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (uploadBusy_ && shown_) {
    // A run still sending: asked first, then stopped as the abort button
    // does; the window closes once the run has ended (and named the files
    // it cut short in the memo), so that the lists and placements are
    // written promptly instead of after the run.
    if (!closeAfterRun_ && !ConfirmOkCancel("転送中です。中止して終了しますか？")) {
      event->ignore();
      return;
    }
    closeAfterRun_ = true;
    upload_->Abort();
    event->ignore();
    return;
  }
  Guarded([this] { FormClose(); });
  QMainWindow::closeEvent(event);
}

}  // namespace tovra
