#include "app/uTrawlMain.h"

#include "platform/CommandButtonAccessible.h"

#include "app/uSystools.h"
#include "browser/OrvoBrowser.h"
#include "capture/CaptureController.h"
#include "capture/WebCapturePages.h"
#include "export/ExportController.h"
#include "platform/AlertServer.h"
#include "platform/Failure.h"
#include "platform/SideBar.h"
#include "platform/StatusBar.h"
#include "platform/Ticks.h"
#include "platform/ToolDock.h"
#include "platform/Widgets.h"
#include "support/SupportController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The logo of the window design, shown until "index.png" replaces it.
QPixmap designLogo() {
    QPixmap pm(130, 130);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 130);
    g.setColorAt(0, QColor(0x2a, 0x6f, 0xdb));
    g.setColorAt(1, QColor(0x16, 0x3d, 0x7a));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(4, 4, 122, 122), 18, 18);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(24);
    p.setFont(f);
    p.drawText(QRect(0, 30, 130, 40), Qt::AlignCenter, QStringLiteral("Trawlex"));
    f.setBold(false);
    f.setPixelSize(11);
    p.setFont(f);
    p.drawText(QRect(0, 72, 130, 30), Qt::AlignCenter, QStringLiteral("listings to table"));
    return pm;
}

QIcon stdIcon(QStyle::StandardPixmap pm) {
    return QApplication::style()->standardIcon(pm);
}

} // namespace

TfrmTrawl::TfrmTrawl(const Options& options, QWidget* parent)
    : QMainWindow(parent), m_options(options) {
    setObjectName(QStringLiteral("frmTrawl"));
    platform::installCommandButtonAccessibility();
    CreateCapture();
    CreateExport();
    buildActions();
    buildElements();
    connectCommands();
    resize(1085, 679);
    FormCreate();
}

TfrmTrawl::~TfrmTrawl() {
    FormDestroy();
    // The controller goes with the window's children, after the view it reports to.
    if (m_capture)
        m_capture->setDisplay(nullptr);
}

// ------------------------------------------------------------------------------------
// Elements

void TfrmTrawl::buildActions() {
    const auto make = [this](QAction*& field, const char* name, const QString& text) {
        field = new QAction(text, this);
        field->setObjectName(QString::fromLatin1(name));
    };
    make(acGoback, "acGoback", QStringLiteral("Back"));
    make(acForward, "acForward", QStringLiteral("Forward"));
    make(acRefresh, "acRefresh", QStringLiteral("Refresh"));
    make(acStop, "acStop", QStringLiteral("Stop"));
    make(acHome, "acHome", QStringLiteral("Home"));
    make(acOpen, "acOpen", QStringLiteral("Open"));
    make(acShowBrowserImages, "acShowBrowserImages", QStringLiteral("Images"));
    make(acSetWantsEmail, "acSetWantsEmail", QStringLiteral("Extras"));
    make(acCapture, "acCapture", QStringLiteral("Capture"));
    make(acResumeCapture, "acResumeCapture", QStringLiteral("Resume Capture"));
    acResumeCapture->setEnabled(false); // until a restore brings an interrupted run
    make(acDetectListings, "acDetectListings", QStringLiteral("Detect Listings"));
    make(acSaveTemplate, "acSaveTemplate", QStringLiteral("Save Template"));
    acSaveTemplate->setEnabled(false); // until listings are detected
    make(adDeduplicate, "adDeduplicate", QStringLiteral("Duplicates"));
    make(acDelete, "acDelete", QStringLiteral("Delete"));
    make(acClearGrid, "acClearGrid", QStringLiteral("Clear"));
    make(acSaveExcel, "acSaveExcel", QStringLiteral("Excel"));
    make(acSave, "acSave", QStringLiteral("CSV"));
    make(acBugReport, "acBugReport", QStringLiteral("Report a problem"));
    make(acUpgrade, "acUpgrade", QStringLiteral("Upgrade?"));
    acSetWantsEmail->setCheckable(true);
    acShowBrowserImages->setCheckable(true);
    acShowBrowserImages->setChecked(true);
}

void TfrmTrawl::buildMenus() {
    const auto menu = [this](QMenu*& field, const char* name) {
        field = new QMenu(this);
        field->setObjectName(QString::fromLatin1(name));
    };
    const auto entry = [this](QMenu* m, QAction*& field, const char* name, const QString& text) {
        field = m->addAction(text);
        field->setObjectName(QString::fromLatin1(name));
    };
    menu(PopCSV, "PopCSV");
    entry(PopCSV, mnComma, "mnComma", QStringLiteral("Comma (\",\")"));
    entry(PopCSV, mnSemicolon, "mnSemicolon", QStringLiteral("Semi-colon (\";\")"));
    entry(PopCSV, mnTab, "mnTab", QStringLiteral("Tab (\"     \")"));
    auto* separators = new QActionGroup(this);
    for (QAction* a : {mnComma, mnSemicolon, mnTab}) {
        a->setCheckable(true);
        separators->addAction(a);
    }
    mnComma->setChecked(true);
    PopCSV->addSeparator();
    entry(PopCSV, mnJsonLines, "mnJsonLines", QStringLiteral("JSON Lines"));

    menu(mnPopHome, "mnPopHome");
    entry(mnPopHome, mnHomeTrawlex, "mnHomeTrawlex", QStringLiteral("Home - Trawlex"));
    entry(mnPopHome, mnPlugInHome, "mnPlugInHome", QStringLiteral("PlugIn - Home"));
    menu(mnFavoritePage, "mnFavoritePage");
    entry(mnFavoritePage, mnPopFavoritePage, "mnPopFavoritePage", QStringLiteral("Favorite Page"));
    menu(mnPopSilent, "mnPopSilent");
    entry(mnPopSilent, mnSilentMode, "mnSilentMode", QStringLiteral("Silent Mode ON/OFF"));
    entry(mnPopSilent, mnJavaScript, "mnJavaScript", QStringLiteral("JavaScript ON/OFF"));
    mnSilentMode->setCheckable(true);
    mnJavaScript->setCheckable(true);
    mnJavaScript->setChecked(true);
}

QToolButton* TfrmTrawl::addButton(QToolBar* bar, const char* name, const QString& caption,
                                  const QIcon& icon, QAction* command, QMenu* menu) {
    auto* b = new QToolButton(bar);
    b->setObjectName(QString::fromLatin1(name));
    // Before anything that makes the button known to assistive technology: how it is
    // described there is settled when it is first asked for.
    if (menu) {
        b->setMenu(menu);
        b->setPopupMode(QToolButton::MenuButtonPopup);
    }
    b->setIcon(icon);
    b->setAutoRaise(true);
    b->setIconSize(QSize(22, 22));
    if (!caption.isEmpty()) {
        b->setText(caption);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAccessibleName(caption);
    } else {
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    if (command)
        connect(b, &QToolButton::clicked, command, &QAction::trigger);
    bar->addWidget(b);
    return b;
}

void TfrmTrawl::buildSideBar() {
    vpl = new platform::SideBar(this);
    vpl->setObjectName(QStringLiteral("vpl"));
    vpl->setFixedWidth(175);
    vpl->setStyleSheet(QStringLiteral("#vpl{background:#eef2f7;}"));

    hiBrowse = vpl->addHeader(QStringLiteral("hiBrowse"), QStringLiteral("Browsing"));
    itiCapture = vpl->addItem(QStringLiteral("itiCapture"), QStringLiteral("Capture"));
    itiCapture->setIcon(stdIcon(QStyle::SP_MediaPlay));
    itiCapture->badge()->setFill(QColor(255, 0, 0));
    itiCapture->badge()->setCaption(QStringLiteral("Click to stop!") + QChar(0x00A0));
    itiResume = vpl->addItem(QStringLiteral("itiResume"), QStringLiteral("Resume Capture"));
    itiResume->setIcon(stdIcon(QStyle::SP_MediaSeekForward));
    itiResume->setAccessibleName(QStringLiteral("Resume Capture"));
    itiResume->setEnabled(false);
    itiDetect = vpl->addItem(QStringLiteral("itiDetect"), QStringLiteral("Detect Listings"));
    itiDetect->setIcon(stdIcon(QStyle::SP_FileDialogContentsView));
    itiDetect->setAccessibleName(QStringLiteral("Detect Listings"));

    cbAutoTurn = new QCheckBox(QStringLiteral("Automatic Page Turn"), vpl);
    cbAutoTurn->setObjectName(QStringLiteral("cbAutoTurn"));
    cbAutoTurn->setChecked(true);
    auto* autoRow = new QWidget(vpl);
    auto* autoLayout = new QHBoxLayout(autoRow);
    autoLayout->setContentsMargins(12, 2, 6, 2);
    autoLayout->addWidget(cbAutoTurn);
    vpl->addWidget(autoRow);

    auto* speedRow = new QWidget(vpl);
    auto* speedLayout = new QHBoxLayout(speedRow);
    speedLayout->setContentsMargins(12, 2, 6, 2);
    spSpeedLabel = new QLabel(QStringLiteral("Speed (seconds)"), speedRow);
    spSpeedLabel->setObjectName(QStringLiteral("spSpeedLabel"));
    spSpeed = new QSpinBox(speedRow);
    spSpeed->setObjectName(QStringLiteral("spSpeed"));
    spSpeed->setRange(0, 60);
    spSpeed->setSingleStep(1);
    spSpeed->setValue(3);
    spSpeedLabel->setBuddy(spSpeed);
    spSpeed->setAccessibleName(QStringLiteral("Speed (seconds)"));
    // The label carries leading blanks; right-aligned and allowed to shrink, its words
    // stay next to the spin box.
    spSpeedLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    spSpeedLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    speedLayout->addWidget(spSpeedLabel, 1);
    speedLayout->addWidget(spSpeed);
    vpl->addWidget(speedRow);

    auto* gridRow = new QWidget(vpl);
    auto* gridLayout = new QHBoxLayout(gridRow);
    gridLayout->setContentsMargins(0, 0, 6, 0);
    itiSaveGrid = new platform::SideBarItem(QStringLiteral("My Grid"), gridRow);
    itiSaveGrid->setObjectName(QStringLiteral("itiSaveGrid"));
    itiSaveGrid->setIcon(stdIcon(QStyle::SP_FileDialogDetailedView));
    indicGrid = new platform::Badge(gridRow);
    indicGrid->setObjectName(QStringLiteral("indicGrid"));
    indicGrid->setCaption(QStringLiteral("0"));
    gridLayout->addWidget(itiSaveGrid, 1);
    gridLayout->addWidget(indicGrid);
    vpl->addWidget(gridRow);

    hiFeedback = vpl->addHeader(QStringLiteral("hiFeedback"), QStringLiteral("Exit"));
    itiClose = vpl->addItem(QStringLiteral("itiClose"), QStringLiteral("Close Application"));
    itiClose->setIcon(stdIcon(QStyle::SP_DialogCloseButton));

    ImgWait2 = new platform::WaitAnimation(vpl);
    ImgWait2->setObjectName(QStringLiteral("ImgWait2"));
    vpl->addWidget(ImgWait2, Qt::AlignHCenter);

    m_designLogo = designLogo();
    ImgLogo = new QLabel(vpl);
    ImgLogo->setObjectName(QStringLiteral("ImgLogo"));
    ImgLogo->setFixedSize(130, 130);
    ImgLogo->setAlignment(Qt::AlignCenter);
    ImgLogo->setPixmap(m_designLogo);
    ImgLogo->setAccessibleName(QStringLiteral("Logo"));
    ImgTrawlex2 = m_designLogo;
    vpl->addWidget(ImgLogo, Qt::AlignHCenter);

    mmControl = new QPlainTextEdit(QStringLiteral("EXTRA DATA..."), vpl);
    mmControl->setObjectName(QStringLiteral("mmControl"));
    mmControl->setReadOnly(true);
    mmControl->setAccessibleName(QStringLiteral("Extra data"));
    mmControl->setMaximumHeight(110);
    vpl->addWidget(mmControl);

    m_support = new support::SupportController(vpl, this);
    m_support->setObjectName(QStringLiteral("support"));
    vpl->addWidget(m_support->programUpdateButton());
    vpl->addWidget(m_support->templateUpdateButton());
    vpl->addStretch();

    mmMain = new QPlainTextEdit(QStringLiteral("mmMain"), this);
    mmMain->setObjectName(QStringLiteral("mmMain"));
    mmMain->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmMain->hide();
}

void TfrmTrawl::buildWebPage() {
    opWeb = new QWidget(pg);
    opWeb->setObjectName(QStringLiteral("opWeb"));
    dpWeb = new platform::ToolDock(QStringLiteral("Main"), QStringLiteral("navbar"), opWeb);
    dpWeb->setObjectName(QStringLiteral("dpWeb"));
    tbOpen = dpWeb->addToolBar(QStringLiteral("tbOpen"), QStringLiteral("Open"));
    tbCurrentPage =
        dpWeb->addToolBar(QStringLiteral("tbCurrentPage"), QStringLiteral("Current Page"));
    tbNavigate = dpWeb->addToolBar(QStringLiteral("tbNavigate"), QStringLiteral("Navigate"));
    tbData = dpWeb->addToolBar(QStringLiteral("tbData"), QStringLiteral("Data"));

    mnBtnHome =
        addButton(tbOpen, "mnBtnHome", {}, stdIcon(QStyle::SP_DirHomeIcon), acHome, mnPopHome);
    tbbOpen = addButton(tbOpen, "tbbOpen", {}, stdIcon(QStyle::SP_DialogOpenButton), acOpen);
    btnFavorite = addButton(tbOpen, "btnFavorite", {}, stdIcon(QStyle::SP_DialogApplyButton),
                            nullptr, mnFavoritePage);
    btnFavorite->setToolTip(QStringLiteral("Bookmark this page"));
    btnFavorite->setAccessibleName(QStringLiteral("Bookmark this page"));
    tbbStop = addButton(tbCurrentPage, "tbbStop", {}, stdIcon(QStyle::SP_BrowserStop), acStop);
    tbbRefresh =
        addButton(tbCurrentPage, "tbbRefresh", {}, stdIcon(QStyle::SP_BrowserReload), acRefresh);
    tbbBack = addButton(tbNavigate, "tbbBack", {}, stdIcon(QStyle::SP_ArrowBack), acGoback);
    tbbForward =
        addButton(tbNavigate, "tbbForward", {}, stdIcon(QStyle::SP_ArrowForward), acForward);
    tbbNoImg = addButton(tbData, "tbbNoImg", {}, stdIcon(QStyle::SP_FileDialogContentsView),
                         acShowBrowserImages, mnPopSilent);
    tbbArobase = addButton(tbData, "tbbArobase", {}, stdIcon(QStyle::SP_MessageBoxInformation),
                           acSetWantsEmail);
    tbbArobase->setCheckable(true);
    tbbCapture = addButton(tbData, "tbbCapture", {}, stdIcon(QStyle::SP_MediaPlay), acCapture);
    tbbResume =
        addButton(tbData, "tbbResume", {}, stdIcon(QStyle::SP_MediaSeekForward), acResumeCapture);
    tbbResume->setAccessibleName(QStringLiteral("Resume Capture"));
    tbbResume->setToolTip(QStringLiteral("Resume Capture"));
    tbbResume->setEnabled(false);
    tbbDetect = addButton(tbData, "tbbDetect", {}, stdIcon(QStyle::SP_FileDialogContentsView),
                          acDetectListings);
    tbbDetect->setAccessibleName(QStringLiteral("Detect Listings"));
    tbbDetect->setToolTip(QStringLiteral("Detect Listings"));
    tbbSaveTemplate = addButton(tbData, "tbbSaveTemplate", {}, stdIcon(QStyle::SP_DialogSaveButton),
                                acSaveTemplate);
    tbbSaveTemplate->setAccessibleName(QStringLiteral("Save Template"));
    tbbSaveTemplate->setToolTip(QStringLiteral("Save Template"));
    tbbSaveTemplate->setEnabled(false);

    // Design hints that the language table replaces at start-up.
    setHint("tbbBack", QStringLiteral("Go back"));

    mmIndic = new platform::UpperCaseMemo(opWeb);
    mmIndic->setObjectName(QStringLiteral("mmIndic"));
    mmIndic->setAccessibleName(QStringLiteral("Progress indicator"));
    mmIndic->setFixedHeight(77);
    mmIndic->setText(QStringLiteral("Progress Indicator"));
    opWeb->installEventFilter(this);
    pg->addTab(opWeb, QStringLiteral("Web Navigation"));
}

void TfrmTrawl::buildDataPage() {
    opData = new QWidget(pg);
    opData->setObjectName(QStringLiteral("opData"));
    dpData = new platform::ToolDock(QStringLiteral("Main"), QStringLiteral("savebar"), opData);
    dpData->setObjectName(QStringLiteral("dpData"));
    tbDelete = dpData->addToolBar(QStringLiteral("tbDelete"), QStringLiteral("Delete"));
    tbSave = dpData->addToolBar(QStringLiteral("tbSave"), QStringLiteral("Save as..."));
    tbUpdate = dpData->addToolBar(QStringLiteral("tbUpdate"), QStringLiteral("Upgrade"));
    tbbDuplicates = addButton(tbDelete, "tbbDuplicates", {}, stdIcon(QStyle::SP_FileDialogListView),
                              adDeduplicate);
    tbbDelete = addButton(tbDelete, "tbbDelete", {}, stdIcon(QStyle::SP_TrashIcon), acDelete);
    tbbClear =
        addButton(tbDelete, "tbbClear", {}, stdIcon(QStyle::SP_DialogResetButton), acClearGrid);
    tbbSaveXLS = addButton(tbSave, "tbbSaveXLS", QStringLiteral("Excel"),
                           stdIcon(QStyle::SP_DialogSaveButton), acSaveExcel);
    tbbcsv = addButton(tbSave, "tbbcsv", QStringLiteral("CSV"),
                       stdIcon(QStyle::SP_DialogSaveButton), acSave, PopCSV);
    // The separator menu also opens on a right-button click.
    tbbcsv->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tbbcsv, &QWidget::customContextMenuRequested, PopCSV,
            [this](const QPoint& at) { PopCSV->popup(tbbcsv->mapToGlobal(at)); });
    AdvGlowButton1 = addButton(tbUpdate, "AdvGlowButton1", {},
                               stdIcon(QStyle::SP_MessageBoxWarning), acBugReport);
    AdvGlowButton1->setToolTip(QStringLiteral("Report a problem with this template"));
    AdvGlowButton1->setAccessibleName(QStringLiteral("Report a problem with this template"));
    btnUpgrade = addButton(tbUpdate, "btnUpgrade", QStringLiteral("Upgrade?"),
                           stdIcon(QStyle::SP_BrowserReload), acUpgrade);

    lv = new QTreeView(opData);
    lv->setObjectName(QStringLiteral("lv"));
    lv->setAccessibleName(QStringLiteral("Data grid"));
    lv->setRootIsDecorated(false);
    lv->setUniformRowHeights(true);
    lv->setAlternatingRowColors(true);
    lv->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lv->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv->header()->setStretchLastSection(false);

    edURL = new QLineEdit(QStringLiteral("URL Navigator"), opData);
    edURL->setObjectName(QStringLiteral("edURL"));
    edURL->setReadOnly(true);
    edURL->setEnabled(false);
    edURL->setAccessibleName(QStringLiteral("Address"));
    opData->installEventFilter(this);
    pg->addTab(opData, QStringLiteral("Data Grid"));
}

void TfrmTrawl::buildElements() {
    buildMenus();
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("frmTrawlClient"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    buildSideBar();
    row->addWidget(vpl);
    pg = new QTabWidget(central);
    pg->setObjectName(QStringLiteral("pg"));
    pg->setTabPosition(QTabWidget::West);
    pg->setDocumentMode(true);
    buildWebPage();
    buildDataPage();
    row->addWidget(pg, 1);
    column->addLayout(row, 1);

    osb = new platform::StatusBar({{175, Qt::AlignHCenter, platform::StatusBar::Kind::Progress},
                                   {100, Qt::AlignHCenter, platform::StatusBar::Kind::Text},
                                   {200, Qt::AlignHCenter, platform::StatusBar::Kind::Text},
                                   {50, Qt::AlignLeft, platform::StatusBar::Kind::Text},
                                   // the capture journal: restored rows, rows not kept
                                   {420, Qt::AlignLeft, platform::StatusBar::Kind::Text}},
                                  central);
    osb->setObjectName(QStringLiteral("osb"));
    column->addWidget(osb);
    setCentralWidget(central);

    AlertServer = new platform::AlertServer(QStringLiteral("trawlex"), this);
    AlertServer->setAlertIcon(stdIcon(QStyle::SP_MessageBoxQuestion));
    AlertServer->setMessages(
        {QStringLiteral(
             "<B>SERVER PROBLEM?</B><BR><BR>The next page is not accessible. There might "
             "be a problem with <BR>the server at the other end, or with your own "
             "connection to the web. <BR>Please check your <B>internet connection "
             "</B>and retry later...<BR>") +
             u'\n' + QStringLiteral("<BR>Trawlex -- information") + QString(5, u' ') + u'\n' +
             QString(34, u' '),
         QStringLiteral("<BR>Trawlex -- information (cnt'd)<BR><BR>") + QString(6, u' ') + u'\n' +
             QStringLiteral("This data is <B>already present</B> in the grid! <BR>Turn to the next "
                            "page <B>manually</B> if necessary...<BR>") +
             QString(25, u' ')});

    od.filter = QStringLiteral("OrvoPage Library|*.orp*");

    CreateGrid();
}

// Every command runs behind the application's error report: a failure no command
// catches shows its own text and the program goes on.
template <class F> static auto guarded(F f) {
    return [f]() {
        try {
            f();
        } catch (const std::exception& e) {
            platform::dialogs().error(platform::failureText(e));
        } catch (...) {
            platform::dialogs().error(QStringLiteral("Unknown error"));
        }
    };
}

void TfrmTrawl::connectCommands() {
    const auto on = [this](QAction* a, void (TfrmTrawl::*m)()) {
        connect(a, &QAction::triggered, this, guarded([this, m] { (this->*m)(); }));
    };
    on(acGoback, &TfrmTrawl::acGobackExecute);
    on(acForward, &TfrmTrawl::acForwardExecute);
    on(acRefresh, &TfrmTrawl::acRefreshExecute);
    on(acStop, &TfrmTrawl::acStopExecute);
    on(acHome, &TfrmTrawl::acHomeExecute);
    on(mnHomeTrawlex, &TfrmTrawl::acHomeExecute);
    on(mnPlugInHome, &TfrmTrawl::mnPlugInHomeClick);
    on(acOpen, &TfrmTrawl::acOpenExecute);
    on(acShowBrowserImages, &TfrmTrawl::acShowBrowserImagesExecute);
    on(mnPopFavoritePage, &TfrmTrawl::mnPopFavoritePageClick);
    on(mnSilentMode, &TfrmTrawl::mnSilentModeClick);
    on(mnJavaScript, &TfrmTrawl::mnJavaScriptClick);
    on(acSetWantsEmail, &TfrmTrawl::acSetWantsEmailExecute);
    on(acCapture, &TfrmTrawl::acCaptureExecute);
    on(acResumeCapture, &TfrmTrawl::acResumeCaptureExecute);
    on(acDetectListings, &TfrmTrawl::acDetectListingsExecute);
    on(acSaveTemplate, &TfrmTrawl::acSaveTemplateExecute);
    connect(acSaveTemplate, &QAction::changed, this,
            [this] { tbbSaveTemplate->setEnabled(acSaveTemplate->isEnabled()); });
    on(adDeduplicate, &TfrmTrawl::adDeduplicateExecute);
    on(acDelete, &TfrmTrawl::acDeleteExecute);
    on(acClearGrid, &TfrmTrawl::acClearGridExecute);
    on(acSaveExcel, &TfrmTrawl::acSaveExcelExecute);
    on(acSave, &TfrmTrawl::acSaveExecute);
    on(mnJsonLines, &TfrmTrawl::mnJsonLinesClick);
    for (QAction* a : {mnComma, mnSemicolon, mnTab})
        connect(a, &QAction::toggled, this, guarded([this] { mnSeparatorClick(); }));
    on(acBugReport, &TfrmTrawl::acBugReportExecute);
    on(acUpgrade, &TfrmTrawl::btnUpgradeClick);
    connect(btnFavorite, &QToolButton::clicked, this, guarded([this] { btnFavoriteClick(); }));
    connect(mnPopSilent, &QMenu::aboutToShow, this, guarded([this] { mnPopSilentPopup(); }));
    connect(itiCapture, &QPushButton::clicked, this, guarded([this] { itiCaptureItemClick(); }));
    connect(itiResume, &QPushButton::clicked, acResumeCapture, &QAction::trigger);
    connect(itiDetect, &QPushButton::clicked, acDetectListings, &QAction::trigger);
    connect(itiSaveGrid, &QPushButton::clicked, this, guarded([this] { itiSaveGridItemClick(); }));
    connect(itiClose, &QPushButton::clicked, this, guarded([this] { itiCloseItemClick(); }));
    connect(mmIndic, &platform::UpperCaseMemo::clicked, this, [this] { mmIndicClick(); });
    connect(m_support->programUpdateButton(), &QPushButton::clicked, this,
            guarded([this] { btnupdateprogClick(); }));
    connect(m_support->templateUpdateButton(), &QPushButton::clicked, this,
            guarded([this] { btnUpdatepluginClick(); }));
    connect(m_support->blinkTimer(), &QTimer::timeout, this, guarded([this] { TimerTimer(); }));
    connect(m_support, &support::SupportController::captionChanged, this, &QWidget::setWindowTitle);
}

// ------------------------------------------------------------------------------------
// Start-up

QString TfrmTrawl::ReadAppName() const {
    return systools::ReadAppName(ProgDir);
}
QString TfrmTrawl::ReadDistrib() const {
    return systools::ReadDistrib(ProgDir);
}
QString TfrmTrawl::ReadLingo() const {
    return systools::ReadLingo(ProgDir);
}

void TfrmTrawl::FormCreate() {
    CreateBrowsers(); // steps 1 to 6
    AttachCaptureBrowsers();
    m_support->setBrowsers(WB, wb2);
    m_support->setLogo(ImgLogo);
    m_support->setClosingCheck([this] { return isClosing(); });
    InstallDownloadPrompt(); // files the user downloads in WB are saved where they choose
    ProgDir = systools::programFolder(
        m_options.progDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_options.progDir);
    m_support->setProgramFolder(ProgDir);
    NavigateBlankPages();
    AppName = ReadAppName();
    setWindowTitle(AppName + QStringLiteral("Welcome!"));
    try {
        lingo::ApplyLingo(lingo::languageFilePath(ProgDir, ReadLingo()), *this);
    } catch (...) {
    }
    updatecount();
    OpenJournal();
    LoadLogo();
    try {
        LoadHomePage();
    } catch (const std::exception& e) {
        platform::dialogs().error(platform::failureText(e));
        return;
    }
    pg->setCurrentIndex(0);
    setWindowState(windowState() | Qt::WindowMaximized);
    // The template named on the command line loads once the window is up and its event
    // loop runs: its home page and its update query need browsers the engine treats as on
    // screen, and a page requested from a hidden, never-shown view did not finish before
    // the update query gave up, so the update message came only now and then.
    const QString argument = m_options.arguments.value(0);
    m_commandLinePending = !argument.isEmpty();
    if (m_commandLinePending)
        QTimer::singleShot(0, this, [this, argument] {
            m_commandLinePending = false;
            if (m_closing || platform::isShuttingDown())
                return;
            try {
                loadtemplate(argument);
            } catch (...) {
                platform::dialogs().message(QStringLiteral("Can't load file ") + argument);
            }
        });
    m_support->blinkTimer()->start();
    ReadFavoritePage();
    dpData->moveToTop(tbUpdate);
    update();
    mmControl->setPlainText(QStringLiteral("EXTRA DATA..."));
}

void TfrmTrawl::LoadLogo() {
    QPixmap logo;
    if (!logo.load(ProgDir + QStringLiteral("index.png"), "PNG") || logo.isNull())
        return;
    ImgLogo->setPixmap(logo.scaled(130, 130, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    ImgTrawlex2 = ImgLogo->pixmap();
}

// ------------------------------------------------------------------------------------
// Layout

bool TfrmTrawl::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == opWeb || watched == opData) && event->type() == QEvent::Resize)
        FormResize();
    return QMainWindow::eventFilter(watched, event);
}

void TfrmTrawl::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfrmTrawl::FormResize() {
    if (!opWeb || !opData)
        return;
    // The docks span their page's top, the indicator and the address line its bottom.
    dpWeb->setGeometry(0, 0, opWeb->width(), dpWeb->sizeHint().height());
    mmIndic->setGeometry(0, opWeb->height() - mmIndic->height(), opWeb->width(), mmIndic->height());
    dpData->setGeometry(0, 0, opData->width(), dpData->sizeHint().height());
    const int urlHeight = edURL->sizeHint().height();
    edURL->setGeometry(0, opData->height() - urlHeight, opData->width(), urlHeight);

    if (lv)
        lv->setGeometry(5, dpData->height() + 10, opData->width() - 10,
                        opData->height() - urlHeight - dpData->height() - 15);
    if (QWidget* view = viewOf(WB))
        view->setGeometry(5, dpWeb->height() + 10, opWeb->width() - 10,
                          opWeb->height() - dpWeb->height() - mmIndic->height() - 15);
    if (QWidget* assist = viewOf(WBassist))
        assist->move(-2500, -1500);
}

// ------------------------------------------------------------------------------------
// Shutdown

void TfrmTrawl::itiCloseItemClick() {
    close();
}

void TfrmTrawl::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    bool canClose = true;
    FormCloseQuery(canClose);
    event->accept();
    FormClose();
}

void TfrmTrawl::FormCloseQuery(bool& CanClose) {
    // The start page cannot always be rebuilt (its template removed, the temporary
    // folder gone); closing goes on all the same.
    try {
        acHomeExecute();
    } catch (...) {
    }
    CanClose = true;
}

void TfrmTrawl::FormClose() {
    try {
        LoadHomePage();
    } catch (...) {
    }
    m_closing = true;
    try {
        if (isCaptureBadgeVisible())
            acCaptureExecute();
        AppName += QStringLiteral(" - Application Exit... Please wait!");
        platform::processMessages();
        setWindowTitle(AppName);
    } catch (...) {
    }
    // From here every wait returns at once, so a suspended capture run unwinds; the
    // window is destroyed after the event loop has ended.
    platform::beginShutdown();
    if (AlertServer)
        AlertServer->hide();
    hide();
    if (m_options.exitProcess)
        QCoreApplication::exit(0);
}

void TfrmTrawl::FormDestroy() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    try {
        ReleaseTemplate();
    } catch (...) {
    }
    try {
        DestroyBrowsers();
    } catch (...) {
    }
}
