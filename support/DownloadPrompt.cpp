#include "support/DownloadPrompt.h"

#include "platform/Dialogs.h"
#include "platform/web/QtBrowserEngine.h"
#include "platform/web/WebBrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

namespace support {

DownloadPrompt::DownloadPrompt(QObject* parent) : QObject(parent) {}

platform::FileDialogRequest DownloadPrompt::saveRequest(const QString& directory,
                                                        const QString& suggestedName) {
    platform::FileDialogRequest r;
    r.title = QStringLiteral("Save As");
    r.directory = directory;
    r.fileName = suggestedName;
    r.filter = QStringLiteral("All files|*");
    r.confirmOverwrite = true;
    return r;
}

void DownloadPrompt::attach(platform::TWebBrowser* browser) {
    auto* engine = browser ? dynamic_cast<platform::QtBrowserEngine*>(browser->engine()) : nullptr;
    QWebEnginePage* page = engine ? engine->page() : nullptr;
    if (!page || m_pages.contains(page))
        return;
    m_pages.append(page);
    QWebEngineProfile* profile = page->profile();
    if (profile && !m_profiles.contains(profile)) {
        m_profiles.append(profile);
        connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadPrompt::onDownload);
    }
}

void DownloadPrompt::onDownload(QWebEngineDownloadRequest* download) {
    if (!download || download->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;
    // Saving a page ("save as") is not a download a page can start.
    if (download->isSavePageDownload() || !m_pages.contains(download->page())) {
        download->cancel();
        return;
    }
    const QPointer<QWebEngineDownloadRequest> guard(download);
    const platform::FileDialogResult choice = platform::dialogs().saveFile(
        saveRequest(download->downloadDirectory(), download->downloadFileName()));
    // The dialog ran the event loop: the engine may have dropped the request meanwhile.
    if (!guard || guard->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;
    if (!choice.accepted || choice.fileName.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(choice.fileName);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download] {
        if (download->isFinished())
            emit downloadEnded(
                QDir(download->downloadDirectory()).filePath(download->downloadFileName()),
                download->state() == QWebEngineDownloadRequest::DownloadCompleted);
    });
    download->accept();
}

} // namespace support
