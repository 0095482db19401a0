#include "app/uTrawlMain.h"
#include "journal/Journal.h"

#include "platform/SysFolders.h"
#include "platform/WidgetDialogs.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[]) {
    // Web pages join the accessibility tree only when the engine is told so; screen
    // readers and desktop automation need the page's links and text, not just the window.
    QByteArray engineFlags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!engineFlags.contains("--force-renderer-accessibility"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", engineFlags + " --force-renderer-accessibility");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trawlex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Trawlex"));
    QApplication::setOrganizationName(QStringLiteral("OrvoPages"));
    // The menu entry this window belongs to (Wayland app id, task bar grouping).
    QApplication::setDesktopFileName(QStringLiteral("example.trawlex.Trawlex"));
    QApplication::setQuitOnLastWindowClosed(false);

    platform::WidgetDialogs dialogs;
    platform::setDialogs(&dialogs);
    platform::installDesktopServices();

    TfrmTrawl::Options options;
    options.arguments = QApplication::arguments().mid(1);
    options.journalFolder = journal::Journal::defaultFolder();
    // Beside the executable in a build; share/trawlex in an installation.
    options.progDir = platform::ProgramFolder();
    auto window = std::make_unique<TfrmTrawl>(options);
    dialogs.setParent(window.get());
    window->show();
    const int code = QApplication::exec();
    // Destroyed here, after every nested wait has unwound.
    window.reset();
    platform::setDialogs(nullptr);
    return code;
}
