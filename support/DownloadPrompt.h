// The browser's own download prompt: a page that answers with a file instead of a
// document asks the user, through the save dialog, where to keep it.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;

namespace platform {
class TWebBrowser;
struct FileDialogRequest;
} // namespace platform

namespace support {

class DownloadPrompt : public QObject {
    Q_OBJECT
public:
    explicit DownloadPrompt(QObject* parent = nullptr);

    // Downloads started by this browser's pages ask where to save; those of browsers not
    // attached (the hidden ones) are refused, so no dialog ever comes from a page nobody
    // sees. Attaching the same browser twice changes nothing. A browser whose engine is
    // not the real one has no downloads.
    void attach(platform::TWebBrowser* browser);

    // The save dialog as the prompt asks it for a suggested file name.
    static platform::FileDialogRequest saveRequest(const QString& directory,
                                                   const QString& suggestedName);

signals:
    // A download accepted by the user has ended: finished tells whether the whole file
    // was written to path.
    void downloadEnded(const QString& path, bool finished);

private:
    void onDownload(QWebEngineDownloadRequest* download);

    QList<QPointer<QWebEnginePage>> m_pages;
    QList<QPointer<QWebEngineProfile>> m_profiles;
};

} // namespace support
