// The window's side of listing detection: Detect Listings finds the records, columns and
// next control of the page on show, loads them as the current template and outlines the
// records; Save Template keeps that template in the user's template folder.
#include "app/uTrawlMain.h"

#include "browser/OrvoBrowser.h"
#include "capture/CaptureController.h"
#include "detect/Detect.h"
#include "platform/Dialogs.h"
#include "platform/StatusBar.h"
#include "platform/SysFolders.h"
#include "platform/Ticks.h"
#include "plugins/HomePage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit())
        return true;
    *error = f.errorString();
    return false;
}

} // namespace

void TfrmTrawl::acDetectListingsExecute() {
    if (!WB || isCaptureRunning())
        return;
    const QString page = WB->LocationURL();
    const detect::PageDetection found =
        detect::detectInPage([this](const QString& script) { return WB->RunScript(script); });
    if (!found.detection.proposal) {
        platform::dialogs().message(found.detection.message);
        return;
    }
    const declarative::Description& proposal = *found.detection.proposal;
    m_detectedTemplate = detect::templateJson(proposal);
    m_detectedName = proposal.name;
    QString error;
    const QString temp = platform::GetTempFolder(&error);
    const QString file = QDir(temp).filePath(QStringLiteral("detected.orp.json"));
    if (temp.isEmpty() || !writeFile(file, m_detectedTemplate, &error)) {
        platform::dialogs().message(QStringLiteral("The detected template cannot be written: ") +
                                    error);
        return;
    }
    // Loading shows the template's home page, this page again; its records are outlined
    // once it is back (a page that does not come back in time stays without outlines).
    loadtemplate(file);
    const auto current = m_templates.current();
    if (!current || QDir::cleanPath(current->FileName()) != QDir::cleanPath(file))
        return; // refused, and said so
    QElapsedTimer clock;
    clock.start();
    while (WB && WB->ReadyState() != platform::READYSTATE_COMPLETE && clock.elapsed() < 20000 &&
           !platform::isShuttingDown())
        platform::tickwait(20);
    if (!WB || isClosing() || m_templates.current() != current)
        return;
    WB->RunScript(detect::outlineScript(proposal.records));
    // The grid previews this page's rows: a capture of the page on show alone. Capture
    // later takes this page again (its rows are not added twice) and turns the pages.
    if (m_capture && !isClosing()) {
        m_capture->setAutoTurn(false);
        m_capture->capture();
        if (m_capture)
            m_capture->setAutoTurn(cbAutoTurn->isChecked());
    }
    osb->setText(3, QStringLiteral("%1 listings found on this page: Capture takes every "
                                   "page, Save Template keeps the template")
                        .arg(found.detection.records.size())
                        .toHtmlEscaped());
    acSaveTemplate->setEnabled(true);
}

void TfrmTrawl::acSaveTemplateExecute() {
    if (m_detectedTemplate.isEmpty())
        return;
    const QString folder = UserTemplateFolder();
    QDir().mkpath(folder);
    platform::FileDialogRequest request;
    request.title = QStringLiteral("Save Template");
    request.directory = folder;
    request.fileName = m_detectedName.toLower() + QStringLiteral(".orp.json");
    request.filter = QStringLiteral("Trawlex template (*.orp.json)");
    request.defaultSuffix = QStringLiteral("json");
    request.confirmOverwrite = true;
    const platform::FileDialogResult answer = platform::dialogs().saveFile(request);
    if (!answer.accepted || answer.fileName.isEmpty())
        return;
    // The template masks list only "<name>.orp.json" files on the start page.
    QString path = answer.fileName;
    if (!path.endsWith(QStringLiteral(".orp.json"), Qt::CaseInsensitive)) {
        if (path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive))
            path.chop(5);
        path += QStringLiteral(".orp.json");
    }
    QString error;
    if (!writeFile(path, m_detectedTemplate, &error)) {
        platform::dialogs().message(QStringLiteral("%1 cannot be written: %2").arg(path, error));
        return;
    }
    loadtemplate(path);
}
