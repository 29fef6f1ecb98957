// The main window: the catalogue panel with the embed code options, the
// synchronisation panel, the toolbar that opens the profile dialogs, and the
// main service movie whose replies the dispatcher routes back here.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QWidget>
#include <filesystem>

#include "site_protocol.h"
#include <memory>
#include <string>

#include "app_windows.h"
#include "dispatcher.h"
#include "embed_code.h"
#include "handler_guard.h"
#include "media/player/player.h"
#include "site_sync.h"
#include "videofile.h"
#include "web_view.h"
#include "window_chrome.h"

namespace kestrova::catalogue {
class ThumbnailFetcher;
class RegistrationTracker;
}
namespace kestrova::sync {
struct SiteConnection;
}
namespace kestrova::publishing {
struct LoginProfile;
}
namespace media::player {
class HostSurface;
}

namespace kestrova::ui {

class TFrmBfq;
class PlayerPanel;
class QtHandOver;
class MainFormSyncView;
class FtpSiteSync;
class MainFormUpload;

class TMainForm : public QWidget, public service::MainReplyActions {
  Q_OBJECT

 public:
  explicit TMainForm(AppContext& context);
  ~TMainForm() override;

  // Login values, set by the login reply.
  std::string companyid, account, tvtype;
  std::filesystem::path dataPath;
  bool listRequested = false;
  service::Tvideofile currentVideo;

  // Embed code values.
  bool isFloor = true;
  bool isMulVideofiles = true;
  std::string titleBgColor = "C92A27";
  std::string titleFontColor = "FFFFFF";
  std::string borderLineColor = "A67901";
  std::string scriptQuery;
  std::string scriptText;

  // Frame.
  QLabel* Image3;  // banner
  QLabel* Image2;  // bottom strip
  PictureButton* btnspgl;
  PictureButton* btnspsc;
  PictureButton* btnqympsz;
  PictureButton* btnwzbfsz;
  PictureButton* btnqytbsz;
  PictureButton* btnmmxg;
  PictureButton* SpeedButton1;  // minimise
  PictureButton* SpeedButton3;  // close
  QWidget* pnlSpgl;
  QWidget* pnlspsc;
  WebView* WebBrowser1;
  service::ServiceMovie* swfMain;

  // Catalogue panel.
  QLabel* Image1;
  QTableWidget* lvFiles;
  QLineEdit* edtTitle;
  QLineEdit* edtSort;
  QComboBox* cmbstate;
  QPlainTextEdit* mmoZhimo;
  QLabel* imgZoom;
  PictureButton* btnRefushVideoList;
  PictureButton* btnxzsp;
  PictureButton* btnscsp;
  PictureButton* btnspglsave;
  PictureButton* btnUpload2;
  // Shown while videos wait for their registration: sends them again.
  PictureButton* btnRetryRegistration;
  PlayerPanel* Panel1;  // the player draws here; its caption shows the player's errors
  QLabel* lblStatus;    // playing position
  PictureButton* btnPlay;
  PictureButton* btnStop;
  PictureButton* btnCapture;

  // Embed code options on the catalogue panel.
  QComboBox* cmbKind;
  QComboBox* cmbMul;
  QLineEdit* edWidth;
  QLineEdit* edHeight;
  QCheckBox* chkDisplayEntCard;
  QCheckBox* chkDisplayZhimo;
  QCheckBox* chkAutoPlay;
  QCheckBox* chkAutocre;
  QCheckBox* chkDisplayLogo;
  QLineEdit* edTitle;
  QLabel* Image4;  // title background colour
  QLabel* Image6;  // title text colour
  QLabel* Image7;  // border colour
  QTextEdit* mmoScript;
  PictureButton* btnCopy;
  PictureButton* btnPre;

  // Synchronisation panel.
  QLabel* Image5;
  QLineEdit* edServerPath;
  QLineEdit* edServerIP;
  QLineEdit* edPort;
  QLineEdit* edUserName;
  QLineEdit* edPW;
  QLineEdit* edDomain;
  // How the site is reached, the SFTP key file and the warning that plain
  // FTP sends the password in clear.
  QComboBox* cbProtocol;
  QLineEdit* edKeyFile;
  QLabel* lblPlainFtp;
  sync::SiteProtocol selectedProtocol() const;
  QLineEdit* edsort;  // hidden: the extensions the change scan looks at
  QTreeWidget* lvlist;
  PictureButton* btntestConn;
  PictureButton* btnscan;
  PictureButton* btnpauseupload;
  PictureButton* btsave;
  QLabel* statmain;
  QLabel* Label4;  // red help texts
  QLabel* Label2;
  QLabel* Label8;
  QLabel* Label9;

  // The connection used to delete a video's files from the site: the
  // window's FTP connection unless another is set (nullptr: back to it).
  void setSiteSync(catalogue::SiteSync* site);
  catalogue::SiteSync& siteSync() { return *site_; }

  // Frame handlers.
  void FormCreate();
  void FormActivate();
  void swfMainReadyStateChange(int newState);
  void btnspglClick();
  void btnspscClick();
  void btntestConnClick();
  void btnscanClick();  // also btnUpload2
  void btnpauseuploadClick();
  bool FormCloseQuery();
  void takeLoginProfile(const publishing::LoginProfile& profile, const TFrmBfq& flags);

  // Adding videos: the batch dialog, then its converted files published.
  void btnxzspClick();
  void addVideoFile();

  // Catalogue.
  void lvFilesSelectItem(int row, bool selected);
  void btnspglsaveClick();
  void btnscspClick();
  void btnRefushVideoListClick();
  void btnRetryRegistrationClick();
  catalogue::RegistrationTracker& registrations() { return *registrations_; }
  void lvFilesExit();
  void createConfigXml();
  // The same with the list's rows given (as listRows() would read them).
  void createConfigXml(service::TvideofileList rows);
  service::TvideofileList listRows() const;

  // Preview and thumbnail capture.
  void btnPlayClick();
  void btnStopClick();
  void btnCaptureClick();
  void FFPlayerPosition(int64_t APTS);
  void FFPlayerState(media::TPlayState AState);
  media::TFFPlayer& FFPlayer() { return *player_; }

  // Embed code.
  void createScript();
  void cmbKindChange();
  void cmbMulChange();
  void chkDisplayEntCardClick();
  void Image4Click();
  void Image6Click();
  void Image7Click();
  void btnCopyClick();
  void btnPreClick();

  // Profile dialogs.
  void btnqympszClick();
  void btnwzbfszClick();
  void btnqytbszClick();
  void btnmmxgClick();
  void updateEntInfo();
  void editEntPassword();

  // What the reply dispatcher makes the window do.
  void connectFtp() override;
  void updateVideoFileList(const std::string& reply) override;
  void sendVideoListRequest() override;
  void showMessage(const std::string& text) override;
  void reopenPasswordDialog() override;

  // Runs handler so that an escaping error goes to the top-level display.
  template <class Handler>
  void guarded(Handler&& handler);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildFrame();
  void buildCataloguePanel();
  void buildScriptOptions();
  void buildSyncPanel();
  // The port follows the protocol unless the user typed one of their own.
  void protocolChanged();
  void selectProtocol(sync::SiteProtocol protocol);
  int portProtocolDefault_ = 21;
  void connectHandlers();
  void send(const std::string& request);
  void showThumbnail(const service::Tvideofile& video);
  // What became of a request of the main movie.
  void requestAnswered(const std::string& request, const std::string& command, const std::string& args);
  void requestFailed(const std::string& request, const std::string& reason);
  // The retry button shows while the signed-in company has videos waiting.
  void showPendingRegistrations();
  void createPlayer();
  std::string selectedFileName() const;
  bool pickColour(std::string& target, QColor* chosen);
  publishing::EmbedOptions embedOptions() const;

  AppContext& context_;
  std::unique_ptr<sync::SiteConnection> siteConnection_;
  std::unique_ptr<MainFormSyncView> syncView_;
  std::unique_ptr<FtpSiteSync> ftpSite_;
  catalogue::SiteSync* site_ = nullptr;
  catalogue::ThumbnailFetcher* thumbnails_ = nullptr;
  std::unique_ptr<catalogue::RegistrationTracker> registrations_;
  // The player last of the three: it stops before its surface and the
  // hand-over its events travel through go away.
  std::unique_ptr<QtHandOver> playerHandOver_;
  std::unique_ptr<media::player::HostSurface> playerSurface_;
  std::unique_ptr<media::TFFPlayer> player_;
  // Last, so that a run still going is finished while the connection, the
  // view and the widgets it works on are all still there.
  std::unique_ptr<MainFormUpload> upload_;
};

template <class Handler>
void TMainForm::guarded(Handler&& handler) {
  Guarded(context_.platform, std::forward<Handler>(handler));
}

}  // namespace kestrova::ui
