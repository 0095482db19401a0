// The window's browsers: their creation, the commands on the visible browser, and the
// event handlers all four share.
#include "app/uTrawlMain.h"

#include "browser/BrowserEvents.h"
#include "browser/HtmlDocument.h"
#include "browser/OrvoBrowser.h"
#include "lingo/uLingo.h"
#include "platform/Dialogs.h"
#include "platform/StatusBar.h"
#include "platform/Widgets.h"
#include "platform/web/WebBrowser.h"

#include <QApplication>
#include <QPainter>
#include <QSettings>
#include <QStyle>
#include <QTimer>

#include <stdexcept>

namespace {

constexpr int kImagesShownIcon = 26;
constexpr int kImagesHiddenIcon = 25;

QString browserReadyText() {
    return lingo::sBrowserReady.isEmpty() ? QStringLiteral("Browser ready") : lingo::sBrowserReady;
}

// The two states of the images switch: the browser icon, crossed out while pictures are
// hidden.
QIcon imagesIcon(int index) {
    const QIcon base = QApplication::style()->standardIcon(QStyle::SP_FileDialogContentsView);
    if (index == kImagesShownIcon)
        return base;
    QPixmap pm = base.pixmap(32, 32);
    if (pm.isNull()) {
        pm = QPixmap(32, 32);
        pm.fill(Qt::transparent);
    }
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xc0, 0x20, 0x20), 3));
    p.drawLine(4, 4, pm.width() - 4, pm.height() - 4);
    return QIcon(pm);
}

// The per-user place of the favourite page.
QSettings favouriteSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("OrvoPages"),
                     QStringLiteral("TRXMain"));
}

const QString kMyPage = QStringLiteral("My Page");
const QString kMyUrl = QStringLiteral("My URL");

// A stored value as text: a missing one reads as empty, one of another type is a failure.
std::optional<QString> storedText(const QSettings& settings, const QString& key) {
    const QVariant v = settings.value(key);
    if (!v.isValid())
        return QString();
    if (v.metaType() != QMetaType::fromType<QString>())
        return std::nullopt;
    return v.toString();
}

template <class F> void dropFailures(F f) {
    try {
        f();
    } catch (...) {
    }
}

} // namespace

QWidget* TfrmTrawl::viewOf(TOrvoBrowser* browser) {
    return browser;
}

void TfrmTrawl::CreateBrowsers() {
    WB = new TOrvoBrowser(opWeb);
    WB->setObjectName(QStringLiteral("WB"));
    WB->setName(QStringLiteral("OrvoWebBrowser"));
    WBassist = new TOrvoBrowser(opWeb);
    WBassist->setObjectName(QStringLiteral("WBassist"));
    WBassist->setName(QStringLiteral("OrvoWebAssist"));
    WB->SetDownloadOptions(VisibleBrowserStartOptions());
    // The start page is a local file; its banner, scripts and links reach the web.
    WB->setLocalPagesReachWeb(true);
    WBassist->SetDownloadOptions(AssistBrowserStartOptions());

    // The service browsers of the window design.
    const auto service = [this](const char* name, int top) {
        auto* b = new TEmbeddedWB(opWeb);
        b->setObjectName(QString::fromLatin1(name));
        b->setName(QString::fromLatin1(name));
        b->setGeometry(-5000, top, 1024, 780);
        b->SetDownloadOptions(platform::DLCTL_NO_RUNACTIVEXCTLS | platform::DLCTL_NO_DLACTIVEXCTLS |
                              platform::DLCTL_SILENT);
        b->setSilent(false);
        b->engine()->setRendererName(
            QStringLiteral("Trawlex hidden service browser (%1)").arg(QString::fromLatin1(name)));
        return b;
    };
    wb2 = service("wb2", 152);
    wb5 = service("wb5", 308);
    WB->engine()->setRendererName(QStringLiteral("Trawlex web page"));
    WBassist->engine()->setRendererName(QStringLiteral("Trawlex hidden assistant browser"));

    const auto attach = [this](platform::TWebBrowser* b, bool progress) {
        using B = platform::TWebBrowser;
        // The handlers show nothing of their own; a failure inside one stays there.
        connect(b, &B::OnBeforeNavigate2, this, [this](B* s, const QString& url, bool* cancel) {
            dropFailures([&] {
                bool c = *cancel;
                wb5BeforeNavigate2(s, url, c);
                *cancel = c;
            });
        });
        connect(b, &B::OnDocumentComplete, this, [this](B* s, const QString& url) {
            dropFailures([&] { wb5DocumentComplete(s, url); });
        });
        connect(b, &B::OnDownloadComplete, this,
                [this](B* s) { dropFailures([&] { wb5DownloadComplete(s); }); });
        if (progress)
            connect(b, &B::OnProgressChange, this, [this](B* s, int position, int maximum) {
                dropFailures([&] { wb5ProgressChange(s, position, maximum); });
            });
    };
    attach(WB, true);
    attach(WBassist, true);
    attach(wb2, true);
    attach(wb5, false);

    WBassist->resize(1024, 780);
    WBassist->move(-2500, -1500);
    for (QWidget* b : {static_cast<QWidget*>(WB), static_cast<QWidget*>(WBassist),
                       static_cast<QWidget*>(wb2), static_cast<QWidget*>(wb5)})
        b->show();
    acShowBrowserImages->setIcon(imagesIcon(acShowBrowserImagesImageIndex));
    FormResize();
}

void TfrmTrawl::NavigateBlankPages() {
    wb2->Navigate(QStringLiteral("about:blank"));
    WBassist->Navigate(QStringLiteral("about:blank"));
}

void TfrmTrawl::DestroyBrowsers() {
    delete WB;
    WB = nullptr;
    delete WBassist;
    WBassist = nullptr;
}

// ------------------------------------------------------------------------------------
// Commands on the visible browser

void TfrmTrawl::acGobackExecute() {
    dropFailures([this] { WB->GoBack(); });
}

void TfrmTrawl::acForwardExecute() {
    dropFailures([this] { WB->GoForward(); });
}

void TfrmTrawl::acRefreshExecute() {
    dropFailures([this] { WB->Refresh2(); });
}

void TfrmTrawl::acStopExecute() {
    dropFailures([this] { WB->Stop(); });
}

void TfrmTrawl::acHomeExecute() {
    LoadHomePage();
}

void TfrmTrawl::acShowBrowserImagesExecute() {
    const auto next =
        ToggleImages(WB->DownloadOptions(), acShowBrowserImagesImageIndex == kImagesShownIcon);
    if (next.imagesShown)
        acShowBrowserImagesImageIndex = kImagesShownIcon;
    WB->SetDownloadOptions(next.options);
    if (!next.imagesShown)
        acShowBrowserImagesImageIndex = kImagesHiddenIcon;
    acShowBrowserImages->setIcon(imagesIcon(acShowBrowserImagesImageIndex));
    acShowBrowserImages->setChecked(next.imagesShown);
}

void TfrmTrawl::mnPopSilentPopup() {
    mnSilentMode->setChecked(SilentModeChecked(WB->DownloadOptions()));
    mnJavaScript->setChecked(JavaScriptChecked(WB->DownloadOptions()));
}

void TfrmTrawl::mnJavaScriptClick() {
    // The mark as the drop-down showed it; choosing does not move it by itself.
    const bool checked = JavaScriptChecked(WB->DownloadOptions());
    mnJavaScript->setChecked(checked);
    WB->SetDownloadOptions(ToggleJavaScript(WB->DownloadOptions(), checked));
}

void TfrmTrawl::mnSilentModeClick() {
    const bool checked = SilentModeChecked(WB->DownloadOptions());
    mnSilentMode->setChecked(checked);
    WB->SetDownloadOptions(ToggleSilentMode(WB->DownloadOptions(), checked));
}

void TfrmTrawl::btnFavoriteClick() {
    browser::OrvoRef<IHTMLDocument2> doc(browser::DocumentOf(WB));
    if (!doc)
        throw std::runtime_error("Interface not supported");
    const QString title = browser::FromOrvoText(doc->GetTitle());
    const QString url = browser::FromOrvoText(doc->GetURL());
    {
        QSettings settings = favouriteSettings();
        if (settings.isWritable()) {
            settings.setValue(kMyPage, title);
            settings.setValue(kMyUrl, url);
            settings.sync();
        }
    }
    mnPopFavoritePage->setData(url);
    mnPopFavoritePage->setText(title);
    platform::dialogs().message(QStringLiteral("OrvoBookMark Saved") + u'\n' + title + u'\n' + url);
}

void TfrmTrawl::ReadFavoritePage() {
    dropFailures([this] {
        const QSettings settings = favouriteSettings();
        if (settings.status() != QSettings::NoError)
            return;
        const auto page = storedText(settings, kMyPage);
        if (!page)
            return;
        mnPopFavoritePage->setText(*page);
        const auto url = storedText(settings, kMyUrl);
        if (!url)
            return;
        mnPopFavoritePage->setData(*url);
    });
}

void TfrmTrawl::mnPopFavoritePageClick() {
    const QString url = mnPopFavoritePage->data().toString();
    if (!url.isEmpty())
        WB->Navigate(url);
}

// ------------------------------------------------------------------------------------
// Event handlers

void TfrmTrawl::wb5BeforeNavigate2(platform::TWebBrowser* ASender, const QString& URL,
                                   bool& Cancel) {
    if (browser::IsTemplateLink(URL)) {
        Cancel = true;
        // Loaded once the engine's call has returned: loading sends the browser on to the
        // template's home page and may show a message, neither of which belongs inside it.
        const QString path = browser::TemplateLinkPath(URL);
        QTimer::singleShot(0, this, [this, path] { loadtemplate(path); });
        return;
    }
    if (!browser::IsOutsidePage(URL))
        return;
    if (ASender == wb2 || ASender == WBassist) {
        const platform::DocumentFacts leaving = ASender->CurrentDocumentFacts();
        if (browser::IsHtmlContentType(leaving.contentType) && leaving.hasBody) {
            if (const auto message = browser::GettingExtraDataMessage(leaving.url))
                mmIndic->setText(*message);
        }
        edURL->setText(mmIndic->text());
        const auto next = browser::AdvanceExtraNavigation(windowTitle(), AppName, ExtraNavCount,
                                                          isCaptureBadgeVisible());
        setWindowTitle(next.title);
        ExtraNavCount = next.extraNavCount;
    } else {
        setWindowTitle(browser::LoadingPageTitle(AppName, URL));
    }
}

void TfrmTrawl::wb5DocumentComplete(platform::TWebBrowser* ASender, const QString&) {
    osb->setText(0, browserReadyText());
    if (ASender != wb2 && ASender != WBassist)
        return;
    browser::OrvoRef<IHTMLDocument2> doc(browser::DocumentOf(ASender));
    // Not an HTML document, or one without a body: nothing to show.
    if (doc) {
        const browser::DocumentFacts facts = browser::ReadDocumentFacts(*doc);
        if (facts.hasBody) {
            if (const auto message = browser::DoneCollectingMessage(facts.url))
                mmIndic->setText(*message);
            // The blank page loaded at start-up has no text; it leaves the idle
            // "EXTRA DATA..." in place instead of emptying the box.
            if (ASender == WBassist && facts.url != u"about:blank")
                mmControl->setPlainText(browser::AssistTextSlice(facts.bodyInnerText));
        }
    }
    edURL->setText(mmIndic->text());
}

void TfrmTrawl::wb5DownloadComplete(platform::TWebBrowser*) {
    osb->setText(0, browserReadyText());
}

void TfrmTrawl::wb5ProgressChange(platform::TWebBrowser*, int Progress, int ProgressMax) {
    osb->setProgress(0, Progress, ProgressMax);
}
