#pragma once

#include "lingo/uLingo.h"
#include "platform/Dialogs.h"
#include "plugins/TemplateSession.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <cstdint>
#include <memory>

namespace platform {
class AlertServer;
class Badge;
class SideBar;
class SideBarHeader;
class SideBarItem;
class StatusBar;
class ToolDock;
class UpperCaseMemo;
class WaitAnimation;
} // namespace platform

// --- browser: forward declarations ---
class TOrvoBrowser;
namespace platform {
class TWebBrowser;
class TEmbeddedWB;
} // namespace platform
using TEmbeddedWB = platform::TEmbeddedWB;
// --- plugins: forward declarations ---
class TPlugin;
// --- capture: forward declarations ---
namespace capture {
class CaptureController;
class WebCapturePages;
} // namespace capture
// --- export: forward declarations ---
namespace exporter {
class ExportController;
}
// --- support: forward declarations ---
namespace support {
class SupportController;
}

// The main window. It composes the subsystems' controllers, lays out the elements and
// wires them; its elements carry their names as object names, and its command handlers
// keep their names, each forwarding to the part that does the work. Its state is private:
// callers outside read it through the accessors below or find elements by name.
class TfrmTrawl : public QMainWindow, public lingo::Target {
    Q_OBJECT
public:
    // How the window is brought up; tests replace the program folder and the engine.
    struct Options {
        QString progDir;         // empty: the executable's folder
        QStringList arguments;   // command-line arguments after the program name
        bool exitProcess = true; // closing ends the process (the program) or not (tests)
        // Where the capture journal lives; empty: no journal, nothing restored (tests).
        QString journalFolder;
        std::int64_t journalMaxBytes = 0; // tests: a journal that fills up, 0 for no limit
    };

    explicit TfrmTrawl(const Options& options, QWidget* parent = nullptr);
    ~TfrmTrawl() override;

    // --- app: start-up, layout, shutdown ---
    void FormCreate();
    void FormResize();
    void FormCloseQuery(bool& CanClose);
    void FormClose();
    void FormDestroy();
    void itiCloseItemClick();
    void LoadLogo();
    QString ReadAppName() const;
    QString ReadDistrib() const;
    QString ReadLingo() const;
    bool isClosing() const { return m_closing; }
    // A template named on the command line waits for the first turn of the event loop.
    bool commandLineTemplatePending() const { return m_commandLinePending; }

    // --- app: status feedback ---
    void updatecount();
    void resetbuttons();
    void spinwait();
    void scrollcaption(const QString& Text);
    void mmIndicClick();
    void showAlertServer();
    void playNotificationSound();
    void setIndicator(const QString& text); // mmIndic, in capitals
    void setCaptureBadgeVisible(bool visible);
    bool isCaptureBadgeVisible() const;

    // lingo::Target
    void setHint(const char* element, const QString& text) override;
    void setHeaderColors(const lingo::Rgb& caption, const lingo::Rgb& fill) override;
    void setCaption(const char* element, const QString& text) override;
    void setSpeedLabel(const QString& text) override;
    void setIndicatorText(const QString& text) override;

    // --- browser: the window's browsers (app/uTrawlBrowser.cpp) ---
    void CreateBrowsers();     // start-up steps 1 to 6 and the off-screen browsers
    void NavigateBlankPages(); // start-up step 8
    void DestroyBrowsers();    // destruction step 2
    static QWidget* viewOf(TOrvoBrowser* browser); // the widget on screen, or null
    void ReadFavoritePage();
    void acGobackExecute();
    void acForwardExecute();
    void acRefreshExecute();
    void acStopExecute();
    void acHomeExecute();
    void acShowBrowserImagesExecute();
    void btnFavoriteClick();
    void mnPopFavoritePageClick();
    void mnSilentModeClick();
    void mnJavaScriptClick();
    void mnPopSilentPopup();
    // The browsers' event handlers, shared by all four.
    void wb5BeforeNavigate2(platform::TWebBrowser* ASender, const QString& URL, bool& Cancel);
    void wb5DocumentComplete(platform::TWebBrowser* ASender, const QString& URL);
    void wb5DownloadComplete(platform::TWebBrowser* Sender);
    void wb5ProgressChange(platform::TWebBrowser* ASender, int Progress, int ProgressMax);

    // --- plugins: the current template (app/uTrawlTemplates.cpp) ---
    void LoadHomePage();
    void loadtemplate(const QString& FileName);
    bool PluginIsOK();
    void acOpenExecute();
    void mnPlugInHomeClick();
    void ReleaseTemplate(); // destruction step 1
    bool hasTemplate() const;

    // --- capture: the capture controller's commands (app/uTrawlCapture.cpp) ---
    capture::CaptureController& captureController();
    void CreateGrid();
    void acCaptureExecute();
    void itiCaptureItemClick();
    void acSetWantsEmailExecute();
    void acDeleteExecute();
    void acClearGridExecute();
    void adDeduplicateExecute();
    void itiSaveGridItemClick();
    int gridRowCount() const;
    bool isCaptureRunning() const;
    void acResumeCaptureExecute();

    // --- detection: the listings of the page on show as a template (app/uTrawlDetect.cpp) ---
    void acDetectListingsExecute();
    void acSaveTemplateExecute();
    // Opens the capture journal, restores the last grid and says what happened.
    void OpenJournal();
    void showJournalWarning();
    void WriteColumnHeaders(); // template loading step 13
    bool GetColWidths();       // template loading step 17; false when the widths failed

    // --- export: forwarded to the export controller (app/uTrawlExport.cpp) ---
    void acSaveExecute();
    void acSaveExcelExecute();
    void mnJsonLinesClick();
    void mnSeparatorClick(); // a separator entry of PopCSV was checked

    // --- support: forwarded to the support controller (app/uTrawlSupport.cpp) ---
    void TimerTimer();
    void btnUpgradeClick();
    void btnupdateprogClick();
    void btnUpdatepluginClick();
    void acBugReportExecute();
    void CheckTemplateUpdate(const QString& FileName); // template loading step 6
    void CheckForProgUpdates();
    // The snapshot of Browser's view in ImgLogo, labelled fileName (a page number).
    void WebBrowserScreenShot(TOrvoBrowser* Browser, const QString& fileName);
    // WB's downloads ask where to save; downloads of the hidden browsers are refused.
    void InstallDownloadPrompt();

    // --- read-only views for callers outside the window ---
    const QString& programFolder() const { return ProgDir; } // ends in "/"
    const QString& appName() const { return AppName; }
    const QString& homePageFile() const { return HomePageFile; }
    const QPixmap& savedLogo() const { return ImgTrawlex2; }
    const platform::FileDialogRequest& openRequest() const { return od; }
    const platform::FileDialogRequest& saveRequest() const;
    std::shared_ptr<TPlugin> currentTemplate() const { return m_templates.current(); }
    int extraNavCount() const { return ExtraNavCount; }
    static QString versionText() { return VersionText; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Process-wide values
    QString ProgDir; // always ends in "/"
    QString AppName = QStringLiteral("Trawlex - ");
    QString HomePageFile;
    static inline const QString VersionText = QStringLiteral("1.3.3");

    // Elements (object names equal the field names)
    platform::SideBar* vpl = nullptr;
    platform::SideBarHeader* hiBrowse = nullptr;
    platform::SideBarItem* itiCapture = nullptr;
    platform::SideBarItem* itiResume = nullptr;
    platform::SideBarItem* itiDetect = nullptr;
    QCheckBox* cbAutoTurn = nullptr;
    QLabel* spSpeedLabel = nullptr;
    QSpinBox* spSpeed = nullptr;
    platform::SideBarItem* itiSaveGrid = nullptr;
    platform::Badge* indicGrid = nullptr;
    platform::SideBarHeader* hiFeedback = nullptr;
    platform::SideBarItem* itiClose = nullptr;
    platform::WaitAnimation* ImgWait2 = nullptr;
    QLabel* ImgLogo = nullptr;
    QPixmap ImgTrawlex2; // saved copy of the logo, never shown
    QPlainTextEdit* mmControl = nullptr;
    QPlainTextEdit* mmMain = nullptr;

    QTabWidget* pg = nullptr;
    QWidget* opWeb = nullptr;
    QWidget* opData = nullptr;

    platform::ToolDock* dpWeb = nullptr;
    QToolBar* tbOpen = nullptr;
    QToolBar* tbCurrentPage = nullptr;
    QToolBar* tbNavigate = nullptr;
    QToolBar* tbData = nullptr;
    QToolButton* mnBtnHome = nullptr;
    QToolButton* tbbOpen = nullptr;
    QToolButton* btnFavorite = nullptr;
    QToolButton* tbbStop = nullptr;
    QToolButton* tbbRefresh = nullptr;
    QToolButton* tbbBack = nullptr;
    QToolButton* tbbForward = nullptr;
    QToolButton* tbbNoImg = nullptr;
    QToolButton* tbbArobase = nullptr;
    QToolButton* tbbCapture = nullptr;
    QToolButton* tbbResume = nullptr;
    QToolButton* tbbDetect = nullptr;
    QToolButton* tbbSaveTemplate = nullptr;

    platform::ToolDock* dpData = nullptr;
    QToolBar* tbDelete = nullptr;
    QToolBar* tbSave = nullptr;
    QToolBar* tbUpdate = nullptr;
    QToolButton* tbbDuplicates = nullptr;
    QToolButton* tbbDelete = nullptr;
    QToolButton* tbbClear = nullptr;
    QToolButton* tbbSaveXLS = nullptr;
    QToolButton* tbbcsv = nullptr;
    QToolButton* AdvGlowButton1 = nullptr;
    QToolButton* btnUpgrade = nullptr;

    platform::UpperCaseMemo* mmIndic = nullptr;
    QTreeView* lv = nullptr;
    QLineEdit* edURL = nullptr;
    platform::StatusBar* osb = nullptr;
    platform::AlertServer* AlertServer = nullptr;

    platform::FileDialogRequest od;

    QMenu* PopCSV = nullptr;
    QAction* mnComma = nullptr;
    QAction* mnSemicolon = nullptr;
    QAction* mnTab = nullptr;
    QAction* mnJsonLines = nullptr;
    QMenu* mnPopHome = nullptr;
    QAction* mnHomeTrawlex = nullptr;
    QAction* mnPlugInHome = nullptr;
    QMenu* mnFavoritePage = nullptr;
    QAction* mnPopFavoritePage = nullptr;
    QMenu* mnPopSilent = nullptr;
    QAction* mnSilentMode = nullptr;
    QAction* mnJavaScript = nullptr;

    // Commands (object names "ac..."), triggered by the buttons and menu entries.
    QAction* acGoback = nullptr;
    QAction* acForward = nullptr;
    QAction* acRefresh = nullptr;
    QAction* acStop = nullptr;
    QAction* acHome = nullptr;
    QAction* acOpen = nullptr;
    QAction* acShowBrowserImages = nullptr;
    QAction* acSetWantsEmail = nullptr;
    QAction* acCapture = nullptr;
    QAction* acResumeCapture = nullptr;
    QAction* acDetectListings = nullptr;
    QAction* acSaveTemplate = nullptr;
    QAction* adDeduplicate = nullptr;
    QAction* acDelete = nullptr;
    QAction* acClearGrid = nullptr;
    QAction* acSaveExcel = nullptr;
    QAction* acSave = nullptr;
    QAction* acBugReport = nullptr;
    QAction* acUpgrade = nullptr;

    // --- browser: fields ---
    TOrvoBrowser* WB = nullptr;
    TOrvoBrowser* WBassist = nullptr;
    TEmbeddedWB* wb2 = nullptr;
    TEmbeddedWB* wb5 = nullptr;
    int ExtraNavCount = 0;
    int acShowBrowserImagesImageIndex = 26; // 26 while pictures are shown, 25 while hidden
    // --- plugins: fields ---
    // The current template. A command that calls into it holds a copy for the call: the
    // template may be replaced while the call waits for a browser, and must outlive it.
    TemplateSession m_templates;
    // The last detected template as it is saved (its home the page it was found on).
    QByteArray m_detectedTemplate;
    QString m_detectedName;
    // --- export: fields ---
    std::unique_ptr<exporter::ExportController> m_export; // the save commands
    // --- support: fields ---
    support::SupportController* m_support = nullptr; // update buttons, Timer, downloads

    void CreateExport();

    void buildElements();
    void buildSideBar();
    void buildWebPage();
    void buildDataPage();
    void buildMenus();
    void buildActions();
    void connectCommands();
    QToolButton* addButton(QToolBar* bar, const char* name, const QString& caption,
                           const QIcon& icon, QAction* command, QMenu* menu = nullptr);

    void CreateCapture();
    void AttachCaptureBrowsers();
    class CaptureView;
    struct CaptureViewDeleter {
        void operator()(CaptureView* view) const;
    };

    Options m_options;
    std::unique_ptr<capture::WebCapturePages> m_capturePages;
    // Children of the window. The browsers' handlers may still run while the window's
    // children go, so the window asks whether the controller is still there.
    QPointer<capture::CaptureController> m_capture;
    std::unique_ptr<CaptureView, CaptureViewDeleter> m_captureView;
    bool m_closing = false;
    bool m_commandLinePending = false;
    bool m_destroyed = false;
    QPixmap m_designLogo;
};
