// The main window's frame: creation, activation, the service movie, the
// panels, closing, the login profile and the reply dispatcher's actions.
#include "main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QMouseEvent>

#include "app_title.h"
#include "frm_bfq.h"
#include "login_profile.h"
#include "platform.h"
#include "request_texts.h"
#include "thumbnail_fetcher.h"
#include "main_form_sync.h"
#include "main_form_upload.h"
#include "media/player/host_surface.h"
#include "qt_hand_over.h"
#include "registration_tracker.h"
#include "responsive_ftp.h"

namespace kestrova::ui {

TMainForm::TMainForm(AppContext& context)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), context_(context) {
  siteConnection_ = std::make_unique<sync::SiteConnection>();
  syncView_ = std::make_unique<MainFormSyncView>(*this, context_.platform);
  ftpSite_ = std::make_unique<FtpSiteSync>(*siteConnection_, *syncView_);
  site_ = ftpSite_.get();
  thumbnails_ = new catalogue::ThumbnailFetcher(this);
  buildFrame();
  buildCataloguePanel();
  buildScriptOptions();
  buildSyncPanel();
  createPlayer();
  connectHandlers();
  FormCreate();
  // After FormCreate, which places the data folder.
  registrations_ = std::make_unique<catalogue::RegistrationTracker>(
      dataPath, catalogue::RegistrationTracker::Steps{[this](const std::string& request) { send(request); },
                                                      [this](const std::string& text) { showMessage(text); }});
  upload_ = std::make_unique<MainFormUpload>(*siteConnection_, *syncView_, context_.platform, [this] {
    return sync::UploadSetup{dataPath.string(), context_.executableFolder.toStdString(), edsort->text().toStdString()};
  });
}

TMainForm::~TMainForm() = default;

void TMainForm::setSiteSync(catalogue::SiteSync* site) { site_ = site ? site : ftpSite_.get(); }

void TMainForm::FormCreate() {
  mmoScript->setLineWrapMode(QTextEdit::WidgetWidth);
  dataPath = std::filesystem::path(QDir(context_.executableFolder).filePath("data").toStdString()) / "";
  for (PictureButton* button : {btnspgl, btnspsc, btnqympsz, btnwzbfsz, btnqytbsz, btnmmxg, btnRefushVideoList, btnxzsp,
                                btnscsp, btnspglsave, btnPlay, btnStop, btnCapture, btnCopy, btnPre, btnUpload2,
                                btnRetryRegistration}) {
    button->setTransparentColour(kButtonTransparentColour);
  }
  QUrl base = service::ReadMovieAddress(service::ServiceMovie::MoviePath("main.dll"));
  if (base.isValid()) WebBrowser1->navigate(service::ServicePageUrl(base, "/player/tvsetup/tvsetup.htm"));
}

void TMainForm::FormActivate() {
  swfMain->setMovie(service::ServiceMovie::MoviePath("main.dll"));
  createScript();
}

void TMainForm::swfMainReadyStateChange(int newState) {
  if (newState != 4) return;
  if (!listRequested) sendVideoListRequest();
  listRequested = true;
}

void TMainForm::btnspglClick() {
  btnspsc->setEnabled(true);
  btnspgl->setEnabled(false);
  pnlSpgl->show();
  pnlspsc->hide();
}

void TMainForm::btnspscClick() {
  btnspgl->setEnabled(true);
  btnspsc->setEnabled(false);
  pnlspsc->show();
  pnlSpgl->hide();
}

bool TMainForm::FormCloseQuery() {
  // No late player event may reach a closing window.
  player_->SetOnPosition(nullptr);
  player_->SetOnState(nullptr);
  player_->SetOnHook(nullptr);
  return true;
}

void TMainForm::takeLoginProfile(const publishing::LoginProfile& profile, const TFrmBfq& flags) {
  chkDisplayEntCard->setChecked(flags.chkDisplayEntCard->isChecked());
  chkDisplayZhimo->setChecked(flags.chkDisplayZhimo->isChecked());
  chkAutoPlay->setChecked(flags.chkAutoPlay->isChecked());
  chkAutocre->setChecked(flags.chkAutocre->isChecked());
  chkDisplayLogo->setChecked(flags.chkDisplayLogo->isChecked());

  auto text = [](const std::string& value) { return QString::fromStdString(value); };
  edServerPath->setText(text(profile.ftp_path));
  sync::SiteAddress address = sync::SplitSiteAddress(profile.ftp_addr);
  edServerIP->setText(text(address.host));
  edPort->setText(text(profile.ftp_port));
  portProtocolDefault_ = -1;  // the stored port stays whatever it is
  selectProtocol(address.protocol);
  edKeyFile->setText(text(address.keyFile));
  edUserName->setText(text(profile.ftp_account));
  edPW->setText(text(profile.ftp_password));
  edDomain->setText(text(profile.domain));

  companyid = profile.companyid;
  account = profile.account;
  tvtype = profile.tvtype;
  // Videos a former run could not register go again once the first list
  // shows the back end answering.
  registrations_->armRetry();
  showPendingRegistrations();

  if (!publishing::MayEditFtpSettings(tvtype)) {
    for (QLineEdit* field : {edServerPath, edServerIP, edPort, edUserName, edPW, edDomain}) {
      field->setEchoMode(QLineEdit::Password);
      field->setEnabled(false);
    }
  }
}

void TMainForm::send(const std::string& request) { swfMain->CallFunction(QString::fromStdString(request)); }

void TMainForm::connectFtp() {
  // An upload run holds the connection and opens it afresh itself; the
  // movie's "ready" (every activation reloads the movie) must not cut in.
  if (upload_ && upload_->running()) return;
  site_->connectFtp();
}

void TMainForm::btntestConnClick() {
  bool transferring = upload_->transferring();
  RunFtpKeepingWindowAlive(*syncView_, siteConnection_->ftp, [&](sync::SyncView& view) {
    sync::btntestConnClick(*siteConnection_, view, transferring);
  });
}

void TMainForm::btnscanClick() { upload_->btnscanClick(); }

void TMainForm::btnpauseuploadClick() { upload_->btnpauseuploadClick(); }

void TMainForm::sendVideoListRequest() { send(service::VideoListRequest(companyid)); }

void TMainForm::showMessage(const std::string& text) {
  context_.platform.messageBox(QString::fromStdString(text), ApplicationTitle());
}

void TMainForm::reopenPasswordDialog() { btnmmxgClick(); }

bool TMainForm::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) guarded([this] { FormActivate(); });
  return QWidget::event(e);
}

void TMainForm::closeEvent(QCloseEvent* e) {
  if (!FormCloseQuery()) {
    e->ignore();
    return;
  }
  e->accept();
  // The program ends: a run still going stops here rather than in the
  // middle of a file, and without blocking on its handed-over work.
  upload_->finishForClose();
  context_.platform.endProgram();  // FormClose
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
    if (watched == Image4) guarded([this] { Image4Click(); });
    if (watched == Image6) guarded([this] { Image6Click(); });
    if (watched == Image7) guarded([this] { Image7Click(); });
  }
  if (e->type() == QEvent::MouseButtonPress && watched == lvFiles->viewport()) {
    // A click beside the rows unselects the row.
    auto* mouse = static_cast<QMouseEvent*>(e);
    if (!lvFiles->indexAt(mouse->position().toPoint()).isValid()) lvFiles->clearSelection();
  }
  return QWidget::eventFilter(watched, e);
}

void TMainForm::connectHandlers() {
  auto on = [this](auto* sender, auto signal, auto handler) {
    connect(sender, signal, this, [this, handler] { guarded(handler); });
  };
  connect(swfMain, &service::ServiceMovie::OnReadyStateChange, this,
          [this](int state) { guarded([&] { swfMainReadyStateChange(state); }); });
  connect(swfMain, &service::ServiceMovie::OnFSCommand, this, [this](const QString& command, const QString& args) {
    guarded([&] { service::swfMainFSCommand(*this, command.toStdString(), args.toStdString()); });
  });
  connect(swfMain, &service::ServiceMovie::OnRequestAnswered, this,
          [this](const QString& request, const QString& command, const QString& args) {
            guarded([&] { requestAnswered(request.toStdString(), command.toStdString(), args.toStdString()); });
          });
  connect(swfMain, &service::ServiceMovie::OnRequestFailed, this, [this](const QString& request, const QString& reason) {
    guarded([&] { requestFailed(request.toStdString(), reason.toStdString()); });
  });
  connect(swfMain, &service::ServiceMovie::OnServiceBusy, this,
          [this](const QString& message) { guarded([&] { showMessage(message.toStdString()); }); });

  on(btnspgl, &QToolButton::clicked, [this] { btnspglClick(); });
  on(btnxzsp, &QToolButton::clicked, [this] { btnxzspClick(); });
  on(btnspsc, &QToolButton::clicked, [this] { btnspscClick(); });
  on(btnqympsz, &QToolButton::clicked, [this] { btnqympszClick(); });
  on(btnwzbfsz, &QToolButton::clicked, [this] { btnwzbfszClick(); });
  on(btnqytbsz, &QToolButton::clicked, [this] { btnqytbszClick(); });
  on(btnmmxg, &QToolButton::clicked, [this] { btnmmxgClick(); });
  on(btsave, &QToolButton::clicked, [this] { updateEntInfo(); });
  on(btntestConn, &QToolButton::clicked, [this] { btntestConnClick(); });
  on(btnscan, &QToolButton::clicked, [this] { btnscanClick(); });
  on(btnUpload2, &QToolButton::clicked, [this] { btnscanClick(); });
  on(btnpauseupload, &QToolButton::clicked, [this] { btnpauseuploadClick(); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { showMinimized(); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { context_.platform.endProgram(); });

  on(btnRefushVideoList, &QToolButton::clicked, [this] { btnRefushVideoListClick(); });
  on(btnRetryRegistration, &QToolButton::clicked, [this] { btnRetryRegistrationClick(); });
  on(btnspglsave, &QToolButton::clicked, [this] { btnspglsaveClick(); });
  on(btnscsp, &QToolButton::clicked, [this] { btnscspClick(); });
  on(btnPlay, &QToolButton::clicked, [this] { btnPlayClick(); });
  on(btnStop, &QToolButton::clicked, [this] { btnStopClick(); });
  on(btnCapture, &QToolButton::clicked, [this] { btnCaptureClick(); });
  connect(lvFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            // The row left first, then the row taken, as one selection change
            // reports both.
            for (const QModelIndex& index : deselected.indexes()) {
              if (index.column() == 0) guarded([&] { lvFilesSelectItem(index.row(), false); });
            }
            for (const QModelIndex& index : selected.indexes()) {
              if (index.column() == 0) guarded([&] { lvFilesSelectItem(index.row(), true); });
            }
          });
  lvFiles->viewport()->installEventFilter(this);
  OnExit(lvFiles, [this] { guarded([this] { lvFilesExit(); }); });
  connect(thumbnails_, &catalogue::ThumbnailFetcher::fetched, this,
          [this](const QImage& picture) { imgZoom->setPixmap(QPixmap::fromImage(picture)); });

  connect(cmbKind, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { cmbKindChange(); }); });
  connect(cmbMul, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { cmbMulChange(); }); });
  for (QWidget* field : {static_cast<QWidget*>(edTitle), static_cast<QWidget*>(edWidth),
                         static_cast<QWidget*>(edHeight)}) {
    OnExit(field, [this] { guarded([this] { createScript(); }); });
  }
  for (QCheckBox* box : {chkDisplayEntCard, chkDisplayZhimo, chkAutoPlay, chkAutocre, chkDisplayLogo}) {
    on(box, &QCheckBox::clicked, [this] { chkDisplayEntCardClick(); });
    OnExit(box, [this] { guarded([this] { createScript(); }); });
  }
  for (QLabel* picture : {Image4, Image6, Image7}) picture->installEventFilter(this);
  on(btnCopy, &QToolButton::clicked, [this] { btnCopyClick(); });
  on(btnPre, &QToolButton::clicked, [this] { btnPreClick(); });
}

}  // namespace kestrova::ui
