#include "frm_option.h"

#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>
#include <QStyleOption>
#include <algorithm>
#include <limits>

#include "app_title.h"
#include "artwork.h"
#include "bitmap_image.h"
#include "handler_guard.h"
#include "duration_to_str.h"
#include "media/jpeg_file.h"
#include "media/probe.h"
#include "media/thumbnail.h"
#include "option_close_check.h"
#include "media/engine/conversion_presets.h"
#include "option_items.h"
#include "option_slider.h"
#include "output_settings.h"
#include "picture_view.h"
#include "random_file_name.h"
#include "platform.h"
#include "window_chrome.h"

namespace kestrova::ui {

namespace {

constexpr QSize kClientSize(760, 610);
const QColor kPictureBoxColour(166, 202, 240);
const QString kClickToView = QStringLiteral("Click to view current picture in actual size");

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A control with a text, placed on parent.
template <class Control>
Control* Placed(QWidget* parent, const QString& text, const QRect& geometry) {
  auto* control = new Control(text, parent);
  control->setGeometry(geometry);
  return control;
}

QLabel* Caption(QWidget* parent, const QString& text, const QRect& geometry) {
  return Placed<QLabel>(parent, text, geometry);
}
QPushButton* Button(QWidget* parent, const QString& text, const QRect& geometry) {
  return Placed<QPushButton>(parent, text, geometry);
}
QGroupBox* Group(QWidget* parent, const QString& caption, const QRect& geometry) {
  return Placed<QGroupBox>(parent, caption, geometry);
}
QLineEdit* Edit(QWidget* parent, const QString& text, const QRect& geometry, bool readOnly) {
  auto* edit = Placed<QLineEdit>(parent, text, geometry);
  edit->setReadOnly(readOnly);
  return edit;
}

}  // namespace

TfrmOption::TfrmOption(AppContext& context, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), context_(context) {
  setObjectName("frmOption");
  setWindowTitle(QStringLiteral("视频文件设置"));
  setFixedSize(kClientSize);
  setModal(true);
  QPixmap background = artwork::WindowBackground(kClientSize, windowTitle());
  Image3 = MakePicture(this, background, QRect(QPoint(0, 0), kClientSize));
  MakeDragHandle(Image3, this);
  ApplyWindowShape(this, background);

  Label3 = Caption(this, QStringLiteral("温馨提示："), QRect(16, 45, 70, 18));
  Label5 = Caption(this,
                   QStringLiteral("1.除 \"缩略图设置\" 外的所有设置请直接使用默认项    "
                                  "2.鼠标移动到对应的设置项即可查看对应项的设置帮助"),
                   QRect(86, 45, 660, 18));
  buildSettings();
  buildCutClip();
  buildHidden();
  BitBtn1 = Button(this, QStringLiteral("确定"), QRect(260, 566, 100, 30));
  BitBtn1->setDefault(true);
  BitBtn2 = Button(this, QStringLiteral("取消"), QRect(400, 566, 100, 30));
  Image1->setToolTip(kClickToView);
  Image2->setToolTip(kClickToView);
  connectHandlers();
  image1Canvas = QImage(Image1->size(), QImage::Format_RGB32);
  image2Canvas = QImage(Image2->size(), QImage::Format_RGB32);
  resetPreview();
}

void TfrmOption::buildSettings() {
  // The controls open on the shared defaults, so the dialog and kestrova-cli
  // convert alike when nothing is changed.
  const convert::OptionFields defaults = convert::DefaultOptionFields();
  grpAVFileInfo = Group(this, QStringLiteral("视频文件信息"), QRect(16, 64, 330, 190));
  mmoAVFileInfo = new QPlainTextEdit(grpAVFileInfo);
  mmoAVFileInfo->setGeometry(8, 20, 314, 162);
  mmoAVFileInfo->setReadOnly(true);
  mmoAVFileInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmoAVFileInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoAVFileInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  grpQxd = Group(this, QStringLiteral("视频清晰度"), QRect(356, 64, 200, 52));
  grpQxd->setToolTip(QStringLiteral("视频大小设置"));
  cmbQxd = new QComboBox(grpQxd);
  cmbQxd->setGeometry(8, 20, 184, 24);
  for (const media::QualityPreset& preset : media::QualityPresets()) cmbQxd->addItem(QString::fromUtf8(preset.item));
  cmbQxd->addItem(QString::fromUtf8(media::UserChosenPresetItem()));
  cmbQxd->setCurrentIndex(-1);
  // The longest preset ("超高清（1024*768 1536Kbps）") must show whole in
  // the dialog's font: the preset group grows into the codec group beside
  // it, which holds a single short choice.
  int widest = 0;
  for (int i = 0; i < cmbQxd->count(); ++i)
    widest = std::max(widest, cmbQxd->fontMetrics().horizontalAdvance(cmbQxd->itemText(i)));
  QStyleOptionComboBox box;
  box.initFrom(cmbQxd);
  box.rect = cmbQxd->rect();
  const QRect field = cmbQxd->style()->subControlRect(QStyle::CC_ComboBox, &box, QStyle::SC_ComboBoxEditField, cmbQxd);
  const int extra = std::max(0, widest + 4 - field.width());
  cmbQxd->resize(cmbQxd->width() + extra, cmbQxd->height());
  grpQxd->resize(grpQxd->width() + extra, grpQxd->height());

  grpVideoCodec = new RadioGroup(this, QStringLiteral("视频编码"), {QStringLiteral("X264")}, 0,
                                 QRect(566 + extra, 64, std::max(90, 178 - extra), 52), 1);
  grpVideoCodec->setToolTip(QStringLiteral("视频文件输出格式，系统统一设置为X264高清压缩格式"));

  grpBitRate = Group(this, QStringLiteral("比特率 (Kbps)"), QRect(356, 122, 200, 76));
  grpBitRate->setToolTip(QStringLiteral("音频视频比特率设置，与带宽下载相关"));
  chkVideoBitRate = new QCheckBox(QStringLiteral("视频比特率"), grpBitRate);
  chkVideoBitRate->setGeometry(8, 20, 100, 22);
  chkVideoBitRate->setChecked(defaults.videoBitRateChecked);
  chkVideoBitRate->setEnabled(false);
  edtVideoBitRate = Edit(grpBitRate, Text(defaults.videoBitRate), QRect(112, 20, 80, 22), false);
  edtVideoBitRate->setEnabled(false);
  chkAudioBitRate = new QCheckBox(QStringLiteral("音频比特率"), grpBitRate);
  chkAudioBitRate->setGeometry(8, 48, 100, 22);
  edtAudioBitRate = Edit(grpBitRate, Text(defaults.audioBitRate), QRect(112, 48, 80, 22), false);
  edtAudioBitRate->setEnabled(false);

  grpFrameSize = Group(this, QStringLiteral("视频尺寸"), QRect(566, 122, 178, 52));
  grpFrameSize->setToolTip(QStringLiteral("视频大小设置"));
  cboFrameSize = new QComboBox(grpFrameSize);
  cboFrameSize->setGeometry(8, 20, 162, 24);
  cboFrameSize->addItems(ItemTexts(convert::kFrameSizeItems));
  cboFrameSize->setCurrentIndex(defaults.frameSize.index);
  cboFrameSize->setEnabled(false);

  grpAudioVolume = Group(this, QStringLiteral("音量"), QRect(566, 180, 178, 52));
  grpAudioVolume->setToolTip(QStringLiteral("系统音量设置"));
  chkAudioVolume = new QCheckBox(QStringLiteral("调整音量"), grpAudioVolume);
  chkAudioVolume->setGeometry(8, 20, 90, 22);
  edtAudioVolume = Edit(grpAudioVolume, Text(defaults.audioVolume), QRect(100, 20, 70, 22), false);
  edtAudioVolume->setEnabled(false);
  edtAudioVolume->setToolTip(QStringLiteral("256=normal"));

  grpAudioSampleRate = new RadioGroup(this, QStringLiteral("音频采样率(Hz)"), ItemTexts(convert::kAudioSampleRateItems),
                                      defaults.audioSampleRate.index, QRect(356, 204, 200, 70), 3);
  grpFrameRate = new RadioGroup(this, QStringLiteral("视频帧率"), ItemTexts(convert::kFrameRateItems), defaults.frameRate.index,
                                QRect(16, 260, 330, 46), 5);
  grpFrameRate->setToolTip(QStringLiteral("视频帧率设置"));
  grpAspectRatio = new RadioGroup(this, QStringLiteral("视频长宽比"), ItemTexts(convert::kAspectRatioItems), defaults.aspectRatio.index,
                                  QRect(356, 280, 388, 46), 5);
  grpAspectRatio->setToolTip(QStringLiteral("视频长宽比设置"));
}

void TfrmOption::buildCutClip() {
  grpCutClip = Group(this, QStringLiteral("视频区间与缩略图设置"), QRect(16, 332, 728, 226));
  Label2 = Caption(grpCutClip, QStringLiteral("视频区间设置："), QRect(10, 18, 120, 20));
  Image1 = new QLabel(grpCutClip);
  Image1->setGeometry(10, 40, 220, 145);
  TrackBar1 = new QSlider(Qt::Horizontal, grpCutClip);
  TrackBar1->setGeometry(240, 40, 330, 34);
  TrackBar1->setTickPosition(QSlider::TicksAbove);
  TrackBar1->setToolTip(QStringLiteral("移动查看对应时间点的视频帧画面"));
  btnStartTime = Button(grpCutClip, QStringLiteral("区间起点设置"), QRect(240, 82, 100, 26));
  btnStartTime->setToolTip(QStringLiteral("是否指定区间"));
  edtStartTime = Edit(grpCutClip, QStringLiteral("N/A"), QRect(346, 82, 110, 26), true);
  btnEndTime = Button(grpCutClip, QStringLiteral("区间终点设置"), QRect(240, 114, 100, 26));
  btnEndTime->setToolTip(QStringLiteral("是否指定区间"));
  edtEndTime = Edit(grpCutClip, QStringLiteral("N/A"), QRect(346, 114, 110, 26), true);
  btnNextFrame = Button(grpCutClip, QStringLiteral("下一帧"), QRect(466, 82, 80, 26));
  chkCutClip = new QCheckBox(QStringLiteral("是否指定区间"), grpCutClip);
  chkCutClip->setGeometry(240, 150, 200, 22);
  chkCutClip->setToolTip(QStringLiteral(
      "视频区间设置项，当区间起始点和结束点非空，且结束点时间大于起始点时间时可以进行选择操作"));
  Label1 = Caption(grpCutClip, QStringLiteral("缩略图设置："), QRect(590, 18, 120, 20));
  Image2 = new QLabel(grpCutClip);
  Image2->setGeometry(590, 40, 120, 90);
  btnStartPic = Button(grpCutClip, QStringLiteral("缩略图截取"), QRect(590, 136, 120, 26));
  btnStartPic->setToolTip(QStringLiteral("点击后将截取视频区间画面作为缩略图片"));
  edtStartPic = Edit(grpCutClip, QString::fromUtf8(convert::kNoCaptureTime), QRect(590, 166, 120, 24), true);
  Label4 = Caption(grpCutClip,
                   QStringLiteral("提示：移动上方的进度条，选取要截取的画面，点击”缩略图截取“生成缩略图"),
                   QRect(10, 196, 700, 20));
}

void TfrmOption::buildHidden() {
  // Never shown: their values are the fixed settings the output follows.
  grpFormats = new RadioGroup(this, QStringLiteral("输出格式"), ItemTexts(convert::kFormatItems), 0, {}, 1);
  grpNorm = new RadioGroup(this, QStringLiteral("制式"), ItemTexts(convert::kNormItems), 0, {}, 1);
  grpAudioChannels = new RadioGroup(this, QStringLiteral("音频通道"), ItemTexts(convert::kAudioChannelItems), 0, {}, 1);
  grpAudioCodec = new RadioGroup(this, QStringLiteral("音频编码"), ItemTexts(convert::kAudioCodecItems), 1, {}, 1);
  chkCrop = new QCheckBox(this);
  chkPad = new QCheckBox(this);
  rdoExternalHook = new QRadioButton(this);
  rdoExternalHook->setChecked(true);
  rdoCustomHook = new QRadioButton(this);
  chkCopyTimestamp = new QCheckBox(this);
  chkCopyTimestamp->setChecked(true);
  chkOverwrite = new QCheckBox(this);
  edtOutPath = new QLineEdit(this);
  for (QWidget* hidden : std::initializer_list<QWidget*>{grpFormats, grpNorm, grpAudioChannels, grpAudioCodec, chkCrop,
                                                         chkPad, rdoExternalHook, rdoCustomHook, chkCopyTimestamp,
                                                         chkOverwrite, edtOutPath})
    hidden->hide();
}

void TfrmOption::connectHandlers() {
  auto on = [this](auto* sender, auto signal, void (TfrmOption::*handler)()) {
    connect(sender, signal, this, [this, handler] { Guarded(context_.platform, [&] { (this->*handler)(); }); });
  };
  on(TrackBar1, &QSlider::valueChanged, &TfrmOption::TrackBar1Change);
  on(btnStartTime, &QPushButton::clicked, &TfrmOption::btnStartTimeClick);
  on(btnEndTime, &QPushButton::clicked, &TfrmOption::btnEndTimeClick);
  on(btnNextFrame, &QPushButton::clicked, &TfrmOption::btnNextFrameClick);
  on(btnStartPic, &QPushButton::clicked, &TfrmOption::btnStartPicClick);
  on(cmbQxd, &QComboBox::activated, &TfrmOption::cmbQxdChange);
  on(chkAudioVolume, &QCheckBox::clicked, &TfrmOption::chkAudioVolumeClick);
  on(chkAudioBitRate, &QCheckBox::clicked, &TfrmOption::chkAudioBitRateClick);
  on(chkVideoBitRate, &QCheckBox::clicked, &TfrmOption::chkVideoBitRateClick);
  connect(BitBtn1, &QPushButton::clicked, this, [this] {
    bool close = false;
    Guarded(context_.platform, [&] { close = FormCloseQuery(); });
    if (close) accept();
  });
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
  Image1->installEventFilter(this);
  Image2->installEventFilter(this);
}

bool TfrmOption::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == Image1 || watched == Image2) && event->type() == QEvent::MouseButtonRelease) {
    Guarded(context_.platform, [&] { Image1Click(); });
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

std::filesystem::path TfrmOption::thumbnailPath() const {
  return std::filesystem::path(context_.executableFolder.toStdString()) / "data" / "zoom" / (thumbName + ".jpg");
}

std::filesystem::path TfrmOption::outputFolder() const {
  return std::filesystem::path(context_.executableFolder.toStdString()) / "data" / "video" / "";
}

void TfrmOption::paintCanvas(QLabel* box, const QImage& canvas) { box->setPixmap(QPixmap::fromImage(canvas)); }

std::string TfrmOption::setupProbe(media::TAVProbe& probe) {
  thumbName = convert::randomFileName();
  resetPreview();
  probe_ = &probe;
  mmoAVFileInfo->setPlainText(Text(probe.GetFileInfoText()));
  // A single picture cannot be stepped through.
  TrackBar1->setEnabled(!probe.IsStillImage());
  media::TFileStreamInfo fileInfo;
  probe.GetFileStreamInfo(fileInfo);
  fileDuration = fileInfo.Duration;
  convert::StepSource steps;
  steps.fileDuration = fileDuration;
  steps.hasVideo = probe.VideoStreamCount() > 0;
  if (steps.hasVideo) {
    media::TVideoStreamInfo video;
    probe.GetVideoStreamInfo(video);
    steps.frameRateNum = video.FrameRateNum;
    steps.frameRateDen = video.FrameRateDen;
    steps.videoDuration = video.Duration;
  }
  trackSteps = convert::TrackSteps(steps);
  if (steps.hasVideo) {
    // A file cut short can keep its index and lose every picture: there is
    // nothing to choose a range or a thumbnail from.
    if (!probe.ReadNextFrame()) {
      const std::string reason = probe.LastErrorMessage();
      return reason.empty() ? "文件中没有能解码的画面" : reason;
    }
    showCurrentFrame();
  }
  updateTrackBar();
  return "";
}

void TfrmOption::resetPreview() {
  fileDuration = 0;
  trackSteps = 0;
  curFrameTime = 0;
  lastTrackPos = 0;
  clipStart = std::numeric_limits<int64_t>::max();
  clipEnd = media::kNoTime;
  frameBitmap = media::Bitmap();
  syncing = false;
  image1Canvas.fill(kPictureBoxColour);
  image2Canvas.fill(kPictureBoxColour);
  paintCanvas(Image1, image1Canvas);
  paintCanvas(Image2, image2Canvas);
  TrackBar1->setEnabled(false);
  {
    // A new file starts from the slider's own scale, not the last file's.
    QSignalBlocker quiet(TrackBar1);
    TrackBar1->setRange(0, convert::kDefaultTrackMaximum);
    TrackBar1->setValue(0);
  }
  updateTrackBar();
  selStart = selEnd = 0;
  chkCutClip->setEnabled(false);
  chkCutClip->setChecked(false);
  edtStartTime->setText(QStringLiteral("N/A"));
  edtEndTime->setText(QStringLiteral("N/A"));
}

void TfrmOption::updateTrackBar() {
  const bool enabled = TrackBar1->isEnabled();
  TrackBar1->setEnabled(false);
  const convert::TrackBarLayout layout =
      convert::LayoutTrackBar(trackSteps, TrackBar1->value(), TrackBar1->maximum());
  {
    // Setting the range is not a move by the user.
    QSignalBlocker quiet(TrackBar1);
    TrackBar1->setRange(0, layout.maximum);
    TrackBar1->setTickInterval(layout.tickSpacing);
    TrackBar1->setPageStep(layout.pageSize);
    TrackBar1->setValue(layout.position);
  }
  lastTrackPos = layout.position;
  TrackBar1->setEnabled(enabled);
}

void TfrmOption::syncSliderToPicture() {
  if (fileDuration <= 0 || syncing) return;
  syncing = true;
  TrackBar1->setValue(convert::PositionForTime(curFrameTime, TrackBar1->maximum(), fileDuration));
  // The slider now stands for the picture on show: one step from here is a step.
  lastTrackPos = TrackBar1->value();
  syncing = false;
}

void TfrmOption::showCurrentFrame() {
  if (probe_ == nullptr) return;
  curFrameTime = probe_->CurrentPTS();
  syncSliderToPicture();
  if (probe_->CopyPictureTo(frameBitmap)) {
    FitDraw(image1Canvas, frameBitmap);
    paintCanvas(Image1, image1Canvas);
  }
}

void TfrmOption::showNextFrame() {
  if (probe_ != nullptr && probe_->ReadNextFrame()) showCurrentFrame();
}

void TfrmOption::btnNextFrameClick() { showNextFrame(); }

bool TfrmOption::seekToTarget(int64_t target) {
  if (!probe_->SeekTo(0, target) && !probe_->SeekTo(1, target) && !probe_->SeekTo(4, target)) return false;
  do {
    if (!probe_->ReadNextFrame()) return false;
  } while (target > 0 && probe_->CurrentPTS() < target);
  return true;
}

void TfrmOption::TrackBar1Change() {
  const int position = TrackBar1->value();
  const int maximum = TrackBar1->maximum();
  if (probe_ == nullptr || probe_->VideoStreamCount() <= 0) {
    curFrameTime = convert::PositionTime(position, maximum, fileDuration);
    return;
  }
  if (syncing || !TrackBar1->isEnabled() || position == lastTrackPos) return;
  syncing = true;
  switch (convert::ClassifyMove(position, lastTrackPos)) {
    case convert::SliderMove::StepForward:
      if (probe_->ReadNextFrame()) showCurrentFrame();
      break;
    case convert::SliderMove::StepBack:
      if (probe_->ReadPreviousFrame()) showCurrentFrame();
      break;
    case convert::SliderMove::Jump:
      if (seekToTarget(convert::PositionTime(position, maximum, fileDuration))) showCurrentFrame();
      break;
    case convert::SliderMove::None:
      break;
  }
  lastTrackPos = TrackBar1->value();
  syncing = false;
}

void TfrmOption::updateCutClipEnabled() { chkCutClip->setEnabled(clipStart < clipEnd); }

void TfrmOption::btnStartTimeClick() {
  selStart = TrackBar1->value();
  edtStartTime->setText(Text(catalogue::DurationToStr(curFrameTime)));
  clipStart = curFrameTime;
  updateCutClipEnabled();
}

void TfrmOption::btnEndTimeClick() {
  selEnd = TrackBar1->value();
  edtEndTime->setText(Text(catalogue::DurationToStr(curFrameTime)));
  clipEnd = curFrameTime;
  updateCutClipEnabled();
}

void TfrmOption::btnStartPicClick() {
  edtStartPic->setText(Text(catalogue::DurationToStr(curFrameTime)));
  captureThumbnail();
}

void TfrmOption::captureThumbnail() {
  syncSliderToPicture();
  if (probe_ == nullptr || !probe_->CopyPictureTo(frameBitmap)) return;
  // The picture fitted on the box's reset colour is what the box shows and
  // what the file holds.
  media::Bitmap thumbnail;
  std::string error;
  const std::filesystem::path path = thumbnailPath();
  QString reason = QStringLiteral("无法缩放画面");
  bool saved = media::FitThumbnail(frameBitmap, thumbnail, probe_->PictureSampleAspect());
  if (saved) {
    FitDraw(image2Canvas, thumbnail);
    paintCanvas(Image2, image2Canvas);
    std::error_code made;
    std::filesystem::create_directories(path.parent_path(), made);
    saved = media::WriteJpegFile(thumbnail, path.string(), error);
    // The library's words name the file in English; the box says the same in the window's language.
    reason = QStringLiteral("无法写入文件“%1”").arg(Text(path.string()));
  }
  if (!saved) {
    // Without its file the capture does not count: OK stays refused.
    edtStartPic->setText(QString::fromUtf8(convert::kNoCaptureTime));
    context_.platform.messageBox(QStringLiteral("缩略图保存失败：") + reason, ApplicationTitle());
  }
}

void TfrmOption::Image1Click() {
  if (frameBitmap.Empty()) return;
  const QString caption = QStringLiteral("%1x%2 @ %3")
                              .arg(frameBitmap.width)
                              .arg(frameBitmap.height)
                              .arg(Text(catalogue::DurationToStr(curFrameTime)));
  PictureView view(this, BitmapImage(frameBitmap).copy(), caption);
  context_.platform.execDialog(view);
}

void TfrmOption::cmbQxdChange() {
  const int index = cmbQxd->currentIndex();
  if (index < 0 || index > media::kUserChosenPreset) return;
  // The preset's rule lives with the settings record; the controls show its result.
  convert::OptionFields chosen = fields();
  convert::ChooseQualityPreset(index, chosen);
  const bool locked = index != media::kUserChosenPreset;
  chkVideoBitRate->setChecked(chosen.videoBitRateChecked);
  edtVideoBitRate->setText(Text(chosen.videoBitRate));
  cboFrameSize->setCurrentIndex(chosen.frameSize.index);
  for (QWidget* control : std::initializer_list<QWidget*>{chkVideoBitRate, edtVideoBitRate, cboFrameSize})
    control->setEnabled(!locked);
}

void TfrmOption::chkAudioVolumeClick() { edtAudioVolume->setEnabled(chkAudioVolume->isChecked()); }
void TfrmOption::chkAudioBitRateClick() { edtAudioBitRate->setEnabled(chkAudioBitRate->isChecked()); }
void TfrmOption::chkVideoBitRateClick() { edtVideoBitRate->setEnabled(chkVideoBitRate->isChecked()); }

void TfrmOption::FormShow() { edtStartPic->setText(QString::fromUtf8(convert::kNoCaptureTime)); }

void TfrmOption::showEvent(QShowEvent* event) {
  // Centred on the screen, not over the batch dialog.
  if (QScreen* shown = screen()) move(shown->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

bool TfrmOption::FormCloseQuery() {
  edtOutPath->setText(QString::fromStdString(outputFolder().string()));
  const auto refusals =
      convert::OkRefusals(convert::OutputFolderWritable(outputFolder()), outputFolder(), edtStartPic->text().toStdString());
  for (const std::string& refusal : refusals) context_.platform.messageBox(Text(refusal), ApplicationTitle());
  return refusals.empty();
}

void TfrmOption::done(int result) {
  if (result != QDialog::Accepted) {
    // Leaving without OK takes this file's thumbnail away with it.
    std::error_code error;
    std::filesystem::remove(thumbnailPath(), error);
  }
  QDialog::done(result);
}

convert::OptionFields TfrmOption::fields() const {
  auto choice = [](int index, const QString& text) { return convert::Choice{index, text.toStdString()}; };
  convert::OptionFields f;
  f.format = choice(grpFormats->itemIndex(), grpFormats->itemText());
  f.audioChannels = choice(grpAudioChannels->itemIndex(), grpAudioChannels->itemText());
  f.audioSampleRate = choice(grpAudioSampleRate->itemIndex(), grpAudioSampleRate->itemText());
  f.audioVolumeChecked = chkAudioVolume->isChecked();
  f.audioVolume = edtAudioVolume->text().toStdString();
  f.frameSize = choice(cboFrameSize->currentIndex(), cboFrameSize->currentText());
  f.frameRate = choice(grpFrameRate->itemIndex(), grpFrameRate->itemText());
  f.aspectRatio = choice(grpAspectRatio->itemIndex(), grpAspectRatio->itemText());
  f.videoBitRateChecked = chkVideoBitRate->isChecked();
  f.videoBitRate = edtVideoBitRate->text().toStdString();
  f.audioBitRateChecked = chkAudioBitRate->isChecked();
  f.audioBitRate = edtAudioBitRate->text().toStdString();
  f.cutClipEnabled = chkCutClip->isEnabled();
  f.cutClipChecked = chkCutClip->isChecked();
  f.clipStart = clipStart;
  f.clipEnd = clipEnd;
  f.thumbName = thumbName;
  f.outputFolder = edtOutPath->text().isEmpty() ? outputFolder().string() : edtOutPath->text().toStdString();
  if (probe_ != nullptr) {
    f.inputFileName = probe_->FileName();
    f.inputForcedFormat = probe_->ForcedFormat();
  }
  return f;
}

media::TOutputOptions TfrmOption::getOutputOptions() const { return convert::getOutputOptions(fields()); }
media::TInputOptions TfrmOption::getInputOptions() const { return convert::getInputOptions(fields()); }

}  // namespace kestrova::ui
