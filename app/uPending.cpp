// Members whose subsystems have not been wired into the window yet. Each definition is
// weak, so the subsystem's own definition replaces it as soon as that file is built in.
// Every one here is inert: the element exists and does nothing.
#include "app/uTrawlMain.h"

#define PENDING __attribute__((weak))

PENDING void TfrmTrawl::CreateBrowsers() {}
PENDING void TfrmTrawl::NavigateBlankPages() {}
PENDING void TfrmTrawl::DestroyBrowsers() {}
PENDING QWidget* TfrmTrawl::viewOf(TOrvoBrowser*) {
    return nullptr;
}
PENDING void TfrmTrawl::ReadFavoritePage() {}
PENDING void TfrmTrawl::acGobackExecute() {}
PENDING void TfrmTrawl::acForwardExecute() {}
PENDING void TfrmTrawl::acRefreshExecute() {}
PENDING void TfrmTrawl::acStopExecute() {}
PENDING void TfrmTrawl::acHomeExecute() {
    LoadHomePage();
}
PENDING void TfrmTrawl::acShowBrowserImagesExecute() {}
PENDING void TfrmTrawl::btnFavoriteClick() {}
PENDING void TfrmTrawl::mnPopFavoritePageClick() {}
PENDING void TfrmTrawl::mnSilentModeClick() {}
PENDING void TfrmTrawl::mnJavaScriptClick() {}
PENDING void TfrmTrawl::mnPopSilentPopup() {}

PENDING void TfrmTrawl::LoadHomePage() {}
PENDING void TfrmTrawl::loadtemplate(const QString&) {}
PENDING bool TfrmTrawl::PluginIsOK() {
    return false;
}
PENDING void TfrmTrawl::acOpenExecute() {}
PENDING void TfrmTrawl::mnPlugInHomeClick() {}
PENDING void TfrmTrawl::ReleaseTemplate() {}
PENDING void TfrmTrawl::ClearTemplateStop() {}
PENDING bool TfrmTrawl::hasTemplate() const {
    return false;
}

PENDING void TfrmTrawl::CreateGrid() {}
PENDING void TfrmTrawl::acCaptureExecute() {}
PENDING void TfrmTrawl::itiCaptureItemClick() {}
PENDING void TfrmTrawl::acSetWantsEmailExecute() {}
PENDING void TfrmTrawl::acDeleteExecute() {}
PENDING void TfrmTrawl::acClearGridExecute() {}
PENDING void TfrmTrawl::adDeduplicateExecute() {}
PENDING void TfrmTrawl::itiSaveGridItemClick() {
    pg->setCurrentIndex(1);
}
PENDING int TfrmTrawl::gridRowCount() const {
    return 0;
}
PENDING bool TfrmTrawl::isCaptureRunning() const {
    return false;
}
PENDING void TfrmTrawl::WriteColumnHeaders() {}
PENDING bool TfrmTrawl::GetColWidths() {
    return true;
}

PENDING void TfrmTrawl::acSaveExecute() {}
PENDING void TfrmTrawl::acSaveExcelExecute() {}

PENDING void TfrmTrawl::TimerTimer() {
    Timer->stop();
}
PENDING void TfrmTrawl::btnUpgradeClick() {}
PENDING void TfrmTrawl::btnupdateprogClick() {}
PENDING void TfrmTrawl::btnUpdatepluginClick() {}
PENDING void TfrmTrawl::acBugReportExecute() {}
PENDING void TfrmTrawl::CheckTemplateUpdate(const QString&) {}
