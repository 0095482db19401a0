#pragma once

// The main window's elements as tests reach them: by their object names, the names the
// language file and the accessibility interface use. A name that is missing fails the test.
#include "browser/OrvoBrowser.h"
#include "platform/AlertServer.h"
#include "platform/SideBar.h"
#include "platform/StatusBar.h"
#include "platform/ToolDock.h"
#include "platform/Widgets.h"
#include "platform/web/WebBrowser.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <stdexcept>
#include <string>

class WindowElements {
public:
    explicit WindowElements(const QObject& window) : m_window(window) {}

    platform::SideBar* vpl() const { return find<platform::SideBar>("vpl"); }
    platform::SideBarHeader* hiBrowse() const { return find<platform::SideBarHeader>("hiBrowse"); }
    platform::SideBarItem* itiCapture() const { return find<platform::SideBarItem>("itiCapture"); }
    QCheckBox* cbAutoTurn() const { return find<QCheckBox>("cbAutoTurn"); }
    QLabel* spSpeedLabel() const { return find<QLabel>("spSpeedLabel"); }
    QSpinBox* spSpeed() const { return find<QSpinBox>("spSpeed"); }
    platform::SideBarItem* itiSaveGrid() const {
        return find<platform::SideBarItem>("itiSaveGrid");
    }
    platform::Badge* indicGrid() const { return find<platform::Badge>("indicGrid"); }
    platform::SideBarHeader* hiFeedback() const {
        return find<platform::SideBarHeader>("hiFeedback");
    }
    platform::SideBarItem* itiClose() const { return find<platform::SideBarItem>("itiClose"); }
    platform::WaitAnimation* ImgWait2() const { return find<platform::WaitAnimation>("ImgWait2"); }
    QLabel* ImgLogo() const { return find<QLabel>("ImgLogo"); }
    QPlainTextEdit* mmControl() const { return find<QPlainTextEdit>("mmControl"); }
    QPlainTextEdit* mmMain() const { return find<QPlainTextEdit>("mmMain"); }
    QPushButton* btnupdateprog() const { return find<QPushButton>("btnupdateprog"); }
    QPushButton* btnUpdateplugin() const { return find<QPushButton>("btnUpdateplugin"); }
    QTabWidget* pg() const { return find<QTabWidget>("pg"); }
    QWidget* opWeb() const { return find<QWidget>("opWeb"); }
    QWidget* opData() const { return find<QWidget>("opData"); }
    platform::ToolDock* dpWeb() const { return find<platform::ToolDock>("dpWeb"); }
    QToolBar* tbOpen() const { return find<QToolBar>("tbOpen"); }
    QToolBar* tbCurrentPage() const { return find<QToolBar>("tbCurrentPage"); }
    QToolBar* tbNavigate() const { return find<QToolBar>("tbNavigate"); }
    QToolBar* tbData() const { return find<QToolBar>("tbData"); }
    QToolButton* mnBtnHome() const { return find<QToolButton>("mnBtnHome"); }
    QToolButton* tbbOpen() const { return find<QToolButton>("tbbOpen"); }
    QToolButton* btnFavorite() const { return find<QToolButton>("btnFavorite"); }
    QToolButton* tbbStop() const { return find<QToolButton>("tbbStop"); }
    QToolButton* tbbRefresh() const { return find<QToolButton>("tbbRefresh"); }
    QToolButton* tbbBack() const { return find<QToolButton>("tbbBack"); }
    QToolButton* tbbForward() const { return find<QToolButton>("tbbForward"); }
    QToolButton* tbbNoImg() const { return find<QToolButton>("tbbNoImg"); }
    QToolButton* tbbArobase() const { return find<QToolButton>("tbbArobase"); }
    QToolButton* tbbCapture() const { return find<QToolButton>("tbbCapture"); }
    platform::ToolDock* dpData() const { return find<platform::ToolDock>("dpData"); }
    QToolBar* tbDelete() const { return find<QToolBar>("tbDelete"); }
    QToolBar* tbSave() const { return find<QToolBar>("tbSave"); }
    QToolBar* tbUpdate() const { return find<QToolBar>("tbUpdate"); }
    QToolButton* tbbDuplicates() const { return find<QToolButton>("tbbDuplicates"); }
    QToolButton* tbbDelete() const { return find<QToolButton>("tbbDelete"); }
    QToolButton* tbbClear() const { return find<QToolButton>("tbbClear"); }
    QToolButton* tbbSaveXLS() const { return find<QToolButton>("tbbSaveXLS"); }
    QToolButton* tbbcsv() const { return find<QToolButton>("tbbcsv"); }
    QToolButton* AdvGlowButton1() const { return find<QToolButton>("AdvGlowButton1"); }
    QToolButton* btnUpgrade() const { return find<QToolButton>("btnUpgrade"); }
    platform::UpperCaseMemo* mmIndic() const { return find<platform::UpperCaseMemo>("mmIndic"); }
    QTreeView* lv() const { return find<QTreeView>("lv"); }
    QLineEdit* edURL() const { return find<QLineEdit>("edURL"); }
    platform::StatusBar* osb() const { return find<platform::StatusBar>("osb"); }
    platform::AlertServer* AlertServer() const {
        return find<platform::AlertServer>("AlertServer");
    }
    QTimer* Timer() const { return find<QTimer>("Timer"); }
    QMenu* PopCSV() const { return find<QMenu>("PopCSV"); }
    QAction* mnComma() const { return find<QAction>("mnComma"); }
    QAction* mnSemicolon() const { return find<QAction>("mnSemicolon"); }
    QAction* mnTab() const { return find<QAction>("mnTab"); }
    QAction* mnJsonLines() const { return find<QAction>("mnJsonLines"); }
    QMenu* mnPopHome() const { return find<QMenu>("mnPopHome"); }
    QAction* mnHomeTrawlex() const { return find<QAction>("mnHomeTrawlex"); }
    QAction* mnPlugInHome() const { return find<QAction>("mnPlugInHome"); }
    QMenu* mnFavoritePage() const { return find<QMenu>("mnFavoritePage"); }
    QAction* mnPopFavoritePage() const { return find<QAction>("mnPopFavoritePage"); }
    QMenu* mnPopSilent() const { return find<QMenu>("mnPopSilent"); }
    QAction* mnSilentMode() const { return find<QAction>("mnSilentMode"); }
    QAction* mnJavaScript() const { return find<QAction>("mnJavaScript"); }
    QAction* acGoback() const { return find<QAction>("acGoback"); }
    QAction* acForward() const { return find<QAction>("acForward"); }
    QAction* acRefresh() const { return find<QAction>("acRefresh"); }
    QAction* acStop() const { return find<QAction>("acStop"); }
    QAction* acHome() const { return find<QAction>("acHome"); }
    QAction* acOpen() const { return find<QAction>("acOpen"); }
    QAction* acShowBrowserImages() const { return find<QAction>("acShowBrowserImages"); }
    QAction* acSetWantsEmail() const { return find<QAction>("acSetWantsEmail"); }
    QAction* acCapture() const { return find<QAction>("acCapture"); }
    QAction* acResumeCapture() const { return find<QAction>("acResumeCapture"); }
    QAbstractButton* itiResume() const { return find<QAbstractButton>("itiResume"); }
    QToolButton* tbbResume() const { return find<QToolButton>("tbbResume"); }
    QAction* adDeduplicate() const { return find<QAction>("adDeduplicate"); }
    QAction* acDelete() const { return find<QAction>("acDelete"); }
    QAction* acClearGrid() const { return find<QAction>("acClearGrid"); }
    QAction* acSaveExcel() const { return find<QAction>("acSaveExcel"); }
    QAction* acSave() const { return find<QAction>("acSave"); }
    QAction* acBugReport() const { return find<QAction>("acBugReport"); }
    QAction* acUpgrade() const { return find<QAction>("acUpgrade"); }
    TOrvoBrowser* WB() const { return find<TOrvoBrowser>("WB"); }
    TOrvoBrowser* WBassist() const { return find<TOrvoBrowser>("WBassist"); }
    platform::TEmbeddedWB* wb2() const { return find<platform::TEmbeddedWB>("wb2"); }
    platform::TEmbeddedWB* wb5() const { return find<platform::TEmbeddedWB>("wb5"); }

private:
    template <class T> T* find(const char* name) const {
        T* found = m_window.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            throw std::runtime_error(std::string("no window element named ") + name);
        return found;
    }

    const QObject& m_window;
};

inline WindowElements ui(const QObject& window) {
    return WindowElements(window);
}
