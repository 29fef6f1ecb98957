// Where the main window's controls sit, with their captions and hints.
#include <QHeaderView>
#include <QPainter>

#include "artwork.h"
#include "catalogue_rows.h"
#include "main_form.h"
#include "site_protocol.h"
#include "player_panel.h"
#include "upload_panel_model.h"

namespace kestrova::ui {

namespace {

const QSize kClientSize(857, 628);
const int kBannerHeight = 108;
const int kPanelTop = kBannerHeight;
const QSize kPanelSize(857, 470);

PictureButton* Button(QWidget* parent, const QString& text, const QColor& face, const QRect& geometry) {
  return new PictureButton(parent, artwork::ButtonPicture(geometry.size(), text, face), geometry);
}

QLabel* Caption(QWidget* parent, const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return label;
}

QLineEdit* Edit(QWidget* parent, const QRect& geometry) {
  auto* edit = new QLineEdit(parent);
  edit->setGeometry(geometry);
  return edit;
}

}  // namespace

void TMainForm::buildFrame() {
  setObjectName("TMainForm");
  setWindowTitle(QStringLiteral("Kestrova视频管理系统"));
  setFixedSize(kClientSize);
  QPixmap shape(kClientSize);
  shape.fill(Qt::white);
  {
    // Only the banner's rounded top corners are cut out.
    QPixmap banner = artwork::Banner(QSize(kClientSize.width(), kBannerHeight), QStringLiteral("Kestrova视频管理系统"),
                                     QStringLiteral("企业网站视频展示 · 转换 · 发布 · 同步"));
    Image3 = MakePicture(this, banner, QRect(0, 0, kClientSize.width(), kBannerHeight));
    QPainter painter(&shape);
    painter.drawPixmap(0, 0, banner);
  }
  ApplyWindowShape(this, shape);
  Image2 = MakePicture(this, artwork::PanelBackground(QSize(kClientSize.width(), 50)), QRect(0, 578, 857, 50));
  WebBrowser1 = new WebView(this);
  WebBrowser1->setGeometry(8, 582, 841, 42);

  const int top = 66, h = 34, w = 118;
  btnspgl = Button(this, QStringLiteral("视频管理"), artwork::AccentBlue(), QRect(16, top, w, h));
  btnspsc = Button(this, QStringLiteral("上传同步"), artwork::AccentBlue(), QRect(16 + (w + 8), top, w, h));
  btnqympsz = Button(this, QStringLiteral("企业名片"), artwork::AccentGreen(), QRect(16 + 2 * (w + 8), top, w, h));
  btnwzbfsz = Button(this, QStringLiteral("播放器设置"), artwork::AccentGreen(), QRect(16 + 3 * (w + 8), top, w, h));
  btnqytbsz = Button(this, QStringLiteral("企业图标"), artwork::AccentGreen(), QRect(16 + 4 * (w + 8), top, w, h));
  btnmmxg = Button(this, QStringLiteral("修改密码"), artwork::AccentGrey(), QRect(16 + 5 * (w + 8), top, w, h));
  btnspgl->setToolTip(QStringLiteral("对已转换成功的视频进行操作与管理"));
  btnspsc->setToolTip(QStringLiteral("进行上传设置，并对变更的视频和文件进行上传操作"));
  btnqympsz->setToolTip(QStringLiteral("设置Kestrova播放器的企业名片，显示于网站Kestrova窗口中"));
  btnwzbfsz->setToolTip(QStringLiteral("对常用的网站播放器设置进行变更，与生成网站代码相关联"));
  btnqytbsz->setToolTip(QStringLiteral("设置网站Kestrova的企业LOGO图标，充分体现您独有的企业形象"));
  btnmmxg->setToolTip(QStringLiteral("对Kestrova后台登录密码进行修改"));
  btnspgl->setEnabled(false);

  SpeedButton1 = Button(this, QStringLiteral("—"), artwork::AccentGrey(), QRect(785, 10, 30, 20));
  SpeedButton1->setToolTip(QStringLiteral("最小化"));
  SpeedButton3 = new PictureButton(this, artwork::CloseBox(QSize(30, 20)), QRect(819, 10, 30, 20));
  SpeedButton3->setToolTip(QStringLiteral("关闭"));
  SpeedButton1->setTransparentColour(kButtonTransparentColour);
  SpeedButton3->setTransparentColour(kButtonTransparentColour);

  pnlSpgl = new QWidget(this);
  pnlSpgl->setGeometry(QRect(QPoint(0, kPanelTop), kPanelSize));
  Image1 = MakePicture(pnlSpgl, artwork::PanelBackground(kPanelSize), QRect(QPoint(0, 0), kPanelSize));
  pnlspsc = new QWidget(this);
  pnlspsc->setGeometry(QRect(QPoint(0, kPanelTop), kPanelSize));
  Image5 = MakePicture(pnlspsc, artwork::PanelBackground(kPanelSize), QRect(QPoint(0, 0), kPanelSize));
  pnlspsc->hide();

  for (QWidget* handle : {static_cast<QWidget*>(Image1), static_cast<QWidget*>(Image2),
                          static_cast<QWidget*>(Image3), static_cast<QWidget*>(Image5)}) {
    MakeDragHandle(handle, this);
  }

  swfMain = new service::ServiceMovie(service::ServiceMovie::Kind::Main, context_.session, this);
}

void TMainForm::buildCataloguePanel() {
  QWidget* p = pnlSpgl;
  lvFiles = new QTableWidget(0, catalogue::kRowCellCount, p);
  lvFiles->setGeometry(10, 10, 550, 228);
  lvFiles->setToolTip(QStringLiteral("显示当前可进行展示的所有视频文件，如资料未显示，请点击“刷新视频”按纽"));
  lvFiles->setShowGrid(true);
  lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
  lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvFiles->verticalHeader()->hide();
  lvFiles->verticalHeader()->setDefaultSectionSize(22);
  lvFiles->horizontalHeader()->setHighlightSections(false);
  const auto& columns = catalogue::VisibleColumns();
  for (int c = 0; c < catalogue::kRowCellCount; ++c) {
    if (c < static_cast<int>(columns.size())) {
      auto* header = new QTableWidgetItem(QString::fromUtf8(columns[c].caption));
      header->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
      lvFiles->setHorizontalHeaderItem(c, header);
      lvFiles->setColumnWidth(c, columns[c].width);
    } else {
      lvFiles->setColumnHidden(c, true);
    }
  }
  // The selected row stays marked while another control has the focus.
  QPalette palette = lvFiles->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  lvFiles->setPalette(palette);

  const QColor blue = artwork::AccentBlue(), green = artwork::AccentGreen(), grey = artwork::AccentGrey();
  btnRefushVideoList = Button(p, QStringLiteral("刷新视频"), blue, QRect(10, 246, 96, 28));
  btnRefushVideoList->setToolTip(QStringLiteral("如果下方视频列表无法显示不了，请点击点击手动进行视频列表的刷新"));
  btnxzsp = Button(p, QStringLiteral("新增视频"), green, QRect(114, 246, 96, 28));
  btnxzsp->setToolTip(QStringLiteral("点击新增一个/多个视频文件"));
  btnscsp = Button(p, QStringLiteral("删除视频"), artwork::AccentRed(), QRect(218, 246, 96, 28));
  btnscsp->setToolTip(QStringLiteral("删除选择的视频文件"));
  btnUpload2 = Button(p, QStringLiteral("上传到网站"), blue, QRect(322, 246, 110, 28));
  btnUpload2->setToolTip(QString::fromUtf8(sync::kHintUpload2));
  btnRetryRegistration = Button(p, QStringLiteral("重试"), artwork::AccentRed(), QRect(440, 246, 120, 28));
  btnRetryRegistration->hide();

  imgZoom = new QLabel(p);
  imgZoom->setGeometry(10, 284, 120, 90);
  imgZoom->setFrameShape(QFrame::Box);
  imgZoom->setScaledContents(true);
  imgZoom->setAlignment(Qt::AlignCenter);
  imgZoom->setToolTip(QStringLiteral("网站Kestrova中显示对应的缩略图，可点击播放对应的视频进行缩略图的重新截取"));

  Caption(p, QStringLiteral("标题："), QRect(136, 284, 54, 22));
  edtTitle = Edit(p, QRect(192, 284, 188, 22));
  edtTitle->setToolTip(QStringLiteral("网站播放对应视频时显示的视频文件标题"));
  Caption(p, QStringLiteral("排序："), QRect(136, 312, 54, 22));
  edtSort = Edit(p, QRect(192, 312, 64, 22));
  edtSort->setToolTip(QStringLiteral("可以手动对视频的播放顺序进行调整，只能为数字"));
  cmbstate = new QComboBox(p);
  cmbstate->setGeometry(300, 312, 80, 22);
  cmbstate->addItems({QStringLiteral("生效"), QStringLiteral("草稿")});
  cmbstate->setToolTip(QStringLiteral("只有生效状态的视频文件才会在网播放器中进行播放"));
  Caption(p, QStringLiteral("状态："), QRect(256, 312, 44, 22));
  Caption(p, QStringLiteral("字幕："), QRect(136, 340, 54, 22));
  mmoZhimo = new QPlainTextEdit(p);
  mmoZhimo->setGeometry(192, 340, 188, 72);
  mmoZhimo->setToolTip(QStringLiteral("视频字幕为网站Kestrova在播放视频时，对应视频的滚动字幕"));
  btnspglsave = Button(p, QStringLiteral("保存修改"), green, QRect(10, 384, 120, 28));
  btnspglsave->setToolTip(QStringLiteral("对当前视频资料进行保存"));

  Panel1 = new PlayerPanel(p);
  Panel1->setGeometry(390, 284, 170, 128);
  Panel1->setAutoFillBackground(true);
  QPalette black = Panel1->palette();
  black.setColor(QPalette::Window, Qt::black);
  black.setColor(QPalette::WindowText, Qt::white);
  Panel1->setPalette(black);
  Panel1->setCaption(QStringLiteral("请点击下方播放按纽进行视频播放"));
  btnPlay = Button(p, QStringLiteral("播放"), grey, QRect(390, 420, 54, 26));
  btnStop = Button(p, QStringLiteral("停止"), grey, QRect(448, 420, 54, 26));
  btnCapture = Button(p, QStringLiteral("截图"), grey, QRect(506, 420, 54, 26));
  btnStop->setEnabled(false);
  btnCapture->setEnabled(false);
  lblStatus = new QLabel(QStringLiteral("00:00:00:000"), p);
  lblStatus->setGeometry(390, 448, 170, 18);
  lblStatus->setAlignment(Qt::AlignCenter);

  setTabOrder(edtTitle, edtSort);
  setTabOrder(edtSort, cmbstate);
  setTabOrder(cmbstate, mmoZhimo);
}

void TMainForm::buildScriptOptions() {
  QWidget* p = pnlSpgl;
  Caption(p, QStringLiteral("视窗类型："), QRect(570, 10, 76, 22));
  cmbKind = new QComboBox(p);
  cmbKind->setGeometry(650, 10, 196, 22);
  cmbKind->addItems({QStringLiteral("右下角浮动"), QStringLiteral("网站固定位置")});
  cmbKind->setToolTip(QStringLiteral("网站播放器的类型"));
  Caption(p, QStringLiteral("视频数量："), QRect(570, 38, 76, 22));
  cmbMul = new QComboBox(p);
  cmbMul->setGeometry(650, 38, 196, 22);
  cmbMul->addItems({QStringLiteral("多个视频"), QStringLiteral("单个视频")});
  cmbMul->setToolTip(QStringLiteral("播放器多视频/单视频选择项"));
  Caption(p, QStringLiteral("视窗大小："), QRect(570, 66, 76, 22));
  edWidth = Edit(p, QRect(650, 66, 70, 22));
  edWidth->setText("400");
  auto* times = new QLabel("X", p);
  times->setGeometry(724, 66, 14, 22);
  times->setAlignment(Qt::AlignCenter);
  edHeight = Edit(p, QRect(742, 66, 70, 22));
  edHeight->setText("340");
  for (QLineEdit* size : {edWidth, edHeight}) size->setToolTip(QStringLiteral("设置Kestrova在网站的显示大小"));

  auto check = [p](const QString& caption, int left, int top) {
    auto* box = new QCheckBox(caption, p);
    box->setGeometry(left, top, 130, 22);
    return box;
  };
  chkDisplayEntCard = check(QStringLiteral("显示企业名片"), 580, 94);
  chkDisplayZhimo = check(QStringLiteral("显示字幕"), 716, 94);
  chkAutoPlay = check(QStringLiteral("自动播放"), 580, 118);
  chkAutocre = check(QStringLiteral("自动轮播"), 716, 118);
  chkDisplayLogo = check(QStringLiteral("显示LOGO"), 580, 142);

  Caption(p, QStringLiteral("浮动框标题："), QRect(560, 170, 86, 22));
  edTitle = Edit(p, QRect(650, 170, 196, 22));
  edTitle->setText(QStringLiteral("企业视频展示"));
  edTitle->setToolTip(QStringLiteral("这个选项只有在浮动方式时才生效，为浮动框的标题文字/背景/字体颜色的设置"));
  QPalette red = edTitle->palette();
  red.setColor(QPalette::Base, QColor(0xC9, 0x2A, 0x27));
  red.setColor(QPalette::Text, Qt::white);
  edTitle->setPalette(red);

  auto swatch = [p](const QString& caption, const QColor& colour, int left, const QString& hint) {
    auto* label = new QLabel(caption, p);
    label->setGeometry(left, 198, 34, 20);
    auto* picture = MakePicture(p, artwork::Swatch(QSize(30, 18), colour), QRect(left + 34, 199, 30, 18));
    picture->setCursor(Qt::PointingHandCursor);
    picture->setToolTip(hint);
    return picture;
  };
  Image4 = swatch(QStringLiteral("背景"), QColor(0xC9, 0x2A, 0x27), 600, QStringLiteral("设置浮动框标题的背景"));
  Image6 = swatch(QStringLiteral("字体"), Qt::white, 690, QStringLiteral("设置浮动框的字体颜色"));
  Image7 = swatch(QStringLiteral("边框"), QColor(0xA6, 0x79, 0x01), 780, QStringLiteral("设置浮动框的字体颜色"));

  mmoScript = new QTextEdit(p);
  mmoScript->setGeometry(570, 226, 276, 186);
  mmoScript->setReadOnly(true);
  mmoScript->setAcceptRichText(false);
  mmoScript->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoScript->setToolTip(QStringLiteral("这里是网站代码部分喔，把我放到您的网站代码中去吧"));
  mmoScript->setPlainText(QStringLiteral("网站代码将在这里生成。"));

  btnCopy = Button(p, QStringLiteral("复制网站代码"), artwork::AccentGreen(), QRect(570, 420, 134, 28));
  btnCopy->setToolTip(QStringLiteral(
      "点击“复制网站代码”到剪贴板中，如为浮动方式，直接把代码放入网站代码后面，如为固定型，则把代码放入要显示播放的的网页具体的位置即可"));
  btnPre = Button(p, QStringLiteral("预览效果"), artwork::AccentBlue(), QRect(712, 420, 134, 28));
  btnPre->setToolTip(QStringLiteral("查看当前代码设置的网页预览效果"));
}

sync::SiteProtocol TMainForm::selectedProtocol() const {
  return static_cast<sync::SiteProtocol>(cbProtocol->currentData().toInt());
}

void TMainForm::selectProtocol(sync::SiteProtocol protocol) {
  cbProtocol->setCurrentIndex(std::max(0, cbProtocol->findData(static_cast<int>(protocol))));
  portProtocolDefault_ = sync::DefaultPort(protocol);
  protocolChanged();
}

void TMainForm::protocolChanged() {
  sync::SiteProtocol protocol = selectedProtocol();
  // A port the user typed stays; one that was the old protocol's default follows.
  if (edPort->text().trimmed() == QString::number(portProtocolDefault_) || edPort->text().trimmed().isEmpty())
    edPort->setText(QString::number(sync::DefaultPort(protocol)));
  portProtocolDefault_ = sync::DefaultPort(protocol);
  lblPlainFtp->setVisible(protocol == sync::SiteProtocol::Ftp);
  edKeyFile->setEnabled(protocol == sync::SiteProtocol::Sftp);
}

void TMainForm::buildSyncPanel() {
  QWidget* p = pnlspsc;
  Caption(p, QStringLiteral("服务器地址："), QRect(10, 12, 90, 22));
  edServerIP = Edit(p, QRect(104, 12, 200, 22));
  Caption(p, QStringLiteral("端口："), QRect(310, 12, 60, 22));
  edPort = Edit(p, QRect(374, 12, 80, 22));
  edPort->setText("21");
  Caption(p, QStringLiteral("用户名："), QRect(10, 40, 90, 22));
  edUserName = Edit(p, QRect(104, 40, 200, 22));
  Caption(p, QStringLiteral("密码："), QRect(310, 40, 60, 22));
  edPW = Edit(p, QRect(374, 40, 200, 22));
  edPW->setEchoMode(QLineEdit::Password);
  Caption(p, QStringLiteral("站点目录："), QRect(10, 68, 90, 22));
  edServerPath = Edit(p, QRect(104, 68, 200, 22));
  Caption(p, QStringLiteral("网站地址："), QRect(310, 68, 60, 22));
  edDomain = Edit(p, QRect(374, 68, 300, 22));
  cbProtocol = new QComboBox(p);
  cbProtocol->setGeometry(460, 12, 120, 22);
  for (const sync::ProtocolChoice& choice : sync::ProtocolChoices())
    cbProtocol->addItem(QString::fromUtf8(choice.caption), static_cast<int>(choice.protocol));
  Caption(p, QStringLiteral("私钥："), QRect(580, 40, 44, 22));
  edKeyFile = Edit(p, QRect(622, 40, 86, 22));
  edKeyFile->setToolTip(QStringLiteral("SFTP 登录用的私钥文件；留空则用密码登录"));
  edKeyFile->setEnabled(false);
  lblPlainFtp = new QLabel(QString::fromUtf8(sync::kWarnPlainFtp), p);
  lblPlainFtp->setGeometry(10, 116, 836, 18);
  lblPlainFtp->setStyleSheet("color: #c0282d;");
  QObject::connect(cbProtocol, &QComboBox::currentIndexChanged, p, [this] { protocolChanged(); });
  for (QLineEdit* field : {edServerIP, edPort, edUserName, edPW, edServerPath, edDomain}) {
    field->setStyleSheet("lineedit-password-character: 42;");
  }
  edsort = new QLineEdit("mp4,jpg,xml,js,html,gif,swf,htm", p);
  edsort->hide();

  btntestConn = Button(p, QStringLiteral("测试连接"), artwork::AccentBlue(), QRect(712, 10, 134, 28));
  btsave = Button(p, QStringLiteral("保存设置"), artwork::AccentGreen(), QRect(712, 44, 134, 28));
  auto* help = new QLabel(QStringLiteral("站点目录为网站上与本地data文件夹对应的目录；网站地址不要以“/”结尾。"), p);
  help->setGeometry(10, 96, 836, 20);
  help->setStyleSheet("color: #c0282d;");

  lvlist = new QTreeWidget(p);
  lvlist->setGeometry(10, 136, 836, 206);
  lvlist->setRootIsDecorated(false);
  lvlist->setColumnCount(8);  // the eighth cell, the server folder, has no column
  QStringList captions;
  for (const sync::ListColumn& column : sync::kChangeListColumns) captions << QString::fromUtf8(column.caption);
  lvlist->setHeaderLabels(captions);
  for (int c = 0; c < static_cast<int>(sync::kChangeListColumns.size()); ++c) {
    // A width of 0 keeps the list's default.
    if (int width = sync::kChangeListColumns[c].width) lvlist->setColumnWidth(c, width);
  }
  lvlist->setColumnHidden(7, true);

  Label4 = new QLabel(QString::fromUtf8(sync::kLabel4), p);
  Label4->setGeometry(10, 346, 836, 18);
  Label2 = new QLabel(QString::fromUtf8(sync::kLabel2), p);
  Label2->setGeometry(10, 364, 836, 18);
  Label8 = new QLabel(QString::fromUtf8(sync::kLabel8), p);
  Label8->setGeometry(10, 382, 836, 18);
  Label9 = new QLabel(QString::fromUtf8(sync::kLabel9), p);
  Label9->setGeometry(10, 400, 836, 18);
  for (QLabel* label : {Label4, Label2, Label8, Label9}) label->setStyleSheet("color: #e00000;");

  btnscan = Button(p, QStringLiteral("扫描并上传"), artwork::AccentGreen(), QRect(10, 428, 134, 30));
  btnpauseupload = Button(p, QStringLiteral("暂停上传"), artwork::AccentGrey(), QRect(152, 428, 134, 30));
  statmain = new QLabel(p);
  statmain->setGeometry(296, 428, 550, 30);
  // File names are shown as they are, never read as markup.
  statmain->setTextFormat(Qt::PlainText);
}

}  // namespace kestrova::ui
