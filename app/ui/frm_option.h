// The conversion options dialog, shown once for every file added to the
// batch: the file's information, the quality preset and audio/video
// settings, a slider to step through the pictures, the range to convert,
// and the thumbnail that must be taken before OK closes it.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <cstdint>
#include <filesystem>
#include <string>

#include "app_windows.h"
#include "media/bitmap.h"
#include "media/engine/engine_records.h"
#include "option_fields.h"
#include "radio_group.h"

namespace media {
class TAVProbe;
}

namespace kestrova::ui {

class TfrmOption : public QDialog {
  Q_OBJECT

 public:
  TfrmOption(AppContext& context, QWidget* owner);

  // Values kept for the file being set up (reset by resetPreview).
  std::string thumbName;
  int64_t fileDuration = 0;
  int trackSteps = 0;
  int64_t curFrameTime = 0;
  int lastTrackPos = 0;
  int64_t clipStart = 0;
  int64_t clipEnd = 0;
  media::Bitmap frameBitmap;
  bool syncing = false;
  // The slider's marked range (its selection), in positions.
  int selStart = 0;
  int selEnd = 0;

  QLabel* Image3;  // background
  QLabel* Label3;
  QLabel* Label5;
  QGroupBox* grpAVFileInfo;
  QPlainTextEdit* mmoAVFileInfo;
  QGroupBox* grpQxd;
  QComboBox* cmbQxd;
  RadioGroup* grpVideoCodec;
  QGroupBox* grpBitRate;
  QCheckBox* chkVideoBitRate;
  QLineEdit* edtVideoBitRate;
  QCheckBox* chkAudioBitRate;
  QLineEdit* edtAudioBitRate;
  QGroupBox* grpFrameSize;
  QComboBox* cboFrameSize;
  QGroupBox* grpAudioVolume;
  QCheckBox* chkAudioVolume;
  QLineEdit* edtAudioVolume;
  RadioGroup* grpAudioSampleRate;
  RadioGroup* grpFrameRate;
  RadioGroup* grpAspectRatio;
  QGroupBox* grpCutClip;
  QLabel* Label2;
  QLabel* Image1;  // the current picture, 220 x 145
  QSlider* TrackBar1;
  QPushButton* btnStartTime;
  QLineEdit* edtStartTime;
  QPushButton* btnEndTime;
  QLineEdit* edtEndTime;
  QPushButton* btnNextFrame;
  QCheckBox* chkCutClip;
  QLabel* Label1;
  QLabel* Image2;  // the thumbnail, 120 x 90
  QLabel* Label4;
  QPushButton* btnStartPic;
  QLineEdit* edtStartPic;
  QPushButton* BitBtn1;  // OK
  QPushButton* BitBtn2;  // Cancel

  // Hidden: fixed settings.
  RadioGroup* grpFormats;
  RadioGroup* grpNorm;
  RadioGroup* grpAudioChannels;
  RadioGroup* grpAudioCodec;
  QCheckBox* chkCrop;
  QCheckBox* chkPad;
  QRadioButton* rdoExternalHook;
  QRadioButton* rdoCustomHook;
  QCheckBox* chkCopyTimestamp;
  QCheckBox* chkOverwrite;
  QLineEdit* edtOutPath;

  // The canvases the two picture boxes show.
  QImage image1Canvas;
  QImage image2Canvas;

  // Takes the probe, already opened on the file, for this showing.
  // Returns why the file cannot be worked on (no picture decodes), or "".
  std::string setupProbe(media::TAVProbe& probe);
  void resetPreview();
  void updateTrackBar();
  void showCurrentFrame();
  void showNextFrame();
  void captureThumbnail();

  // Each control read into its field of the settings record.
  convert::OptionFields fields() const;
  media::TOutputOptions getOutputOptions() const;
  media::TInputOptions getInputOptions() const;

  // Where this file's thumbnail goes: data/zoom/ + thumbName + ".jpg".
  std::filesystem::path thumbnailPath() const;
  std::filesystem::path outputFolder() const;

  // Handlers.
  void FormShow();
  bool FormCloseQuery();  // for OK; Cancel always closes
  void TrackBar1Change();
  void btnStartTimeClick();
  void btnEndTimeClick();
  void btnNextFrameClick();
  void btnStartPicClick();
  void Image1Click();  // also Image2
  void cmbQxdChange();
  void chkAudioVolumeClick();
  void chkAudioBitRateClick();
  void chkVideoBitRateClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildSettings();
  void buildCutClip();
  void buildHidden();
  void connectHandlers();
  void paintCanvas(QLabel* box, const QImage& canvas);
  void syncSliderToPicture();
  bool seekToTarget(int64_t target);
  void updateCutClipEnabled();

  AppContext& context_;
  media::TAVProbe* probe_ = nullptr;
};

}  // namespace kestrova::ui
