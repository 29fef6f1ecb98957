// The preview on the catalogue panel: the selected video plays into Panel1
// with its position below, stops, and gives its picture on screen as the
// video's new thumbnail.
#include <QPixmap>
#include <stdexcept>

#include "catalogue_rows.h"
#include "duration_to_str.h"
#include "main_form.h"
#include "media/bitmap.h"
#include "media/player/host_surface.h"
#include "player_panel.h"
#include "qt_hand_over.h"
#include "thumbnail_capture.h"
#include "video_files.h"

namespace kestrova::ui {

void TMainForm::createPlayer() {
  playerHandOver_ = std::make_unique<QtHandOver>();
  playerSurface_ = std::make_unique<media::player::HostSurface>(
      playerHandOver_.get(), Panel1->width(), Panel1->height(), [this] {
        media::player::SurfacePicture shown = playerSurface_->Snapshot();
        Panel1->setPicture(
            QImage(shown.pixels.data(), shown.width, shown.height, shown.stride, QImage::Format_RGB32).copy());
      });
  player_ = std::make_unique<media::TFFPlayer>(playerHandOver_.get());
  player_->SetOnPosition([this](int64_t pts) { guarded([&] { FFPlayerPosition(pts); }); });
  player_->SetOnState([this](media::TPlayState state) { guarded([&] { FFPlayerState(state); }); });
}

std::string TMainForm::selectedFileName() const {
  const QModelIndexList rows = lvFiles->selectionModel()->selectedRows();
  if (rows.isEmpty()) throw std::runtime_error("请先在列表中选择一个视频");
  catalogue::RowCells cells;
  for (int cell = 0; cell < catalogue::kRowCellCount; ++cell) {
    QTableWidgetItem* item = lvFiles->item(rows.first().row(), cell);
    cells[cell] = item ? item->text().toStdString() : std::string();
  }
  return catalogue::RecordFromCells(cells).fileName;
}

void TMainForm::btnPlayClick() {
  media::TFFPlayer& player = *player_;
  if (!player.LibrariesLoaded() && !player.LoadLibraries((context_.executableFolder + "/LibAV").toStdString())) {
    Panel1->clearPicture();
    Panel1->setCaption(QString::fromStdString(player.LastErrorMessage()));
    return;
  }
  // The name comes from the server: only a plain name inside the data folder plays.
  std::string fileName = selectedFileName();
  if (!catalogue::SafeBaseName(fileName)) return;
  std::filesystem::path file = dataPath / "video" / fileName;
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return;
  playerSurface_->Clear();
  if (!player.Open(file.string(), playerSurface_.get(), false)) {
    Panel1->clearPicture();
    Panel1->setCaption(QString::fromStdString(player.LastErrorMessage()));
  }
}

void TMainForm::btnStopClick() {
  player_->Stop(true);
  Panel1->clearPicture();
}

void TMainForm::btnCaptureClick() {
  std::string base = catalogue::RequireSafeBaseName(selectedFileName());
  QImage picture = catalogue::ImageFromBitmap(player_->GetCurrentBitmap());
  imgZoom->setPixmap(QPixmap::fromImage(picture));
  QImage thumbnail = catalogue::StretchToThumbnail(picture);
  imgZoom->setPixmap(QPixmap::fromImage(thumbnail));
  catalogue::SaveThumbnail(thumbnail, catalogue::ThumbnailPath(dataPath, base));
}

void TMainForm::FFPlayerPosition(int64_t APTS) {
  lblStatus->setText(QString::fromStdString(catalogue::DurationToStr(APTS)));
}

void TMainForm::FFPlayerState(media::TPlayState AState) {
  if (AState == media::psPlay) {
    btnPlay->setEnabled(false);
    btnStop->setEnabled(true);
    btnCapture->setEnabled(true);
  } else if (AState == media::psStop || AState == media::psEnd) {
    btnPlay->setEnabled(true);
    btnStop->setEnabled(false);
    btnCapture->setEnabled(false);
  }
}

}  // namespace kestrova::ui
