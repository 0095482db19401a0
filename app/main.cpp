#include "app/uTrawlMain.h"

#include "platform/WidgetDialogs.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trawlex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Trawlex"));
    QApplication::setOrganizationName(QStringLiteral("OrvoPages"));
    QApplication::setQuitOnLastWindowClosed(false);

    platform::WidgetDialogs dialogs;
    platform::setDialogs(&dialogs);
    platform::installDesktopServices();

    TfrmTrawl::Options options;
    options.arguments = QApplication::arguments().mid(1);
    auto window = std::make_unique<TfrmTrawl>(options);
    dialogs.setParent(window.get());
    window->show();
    const int code = QApplication::exec();
    // Destroyed here, after every nested wait has unwound.
    window.reset();
    platform::setDialogs(nullptr);
    return code;
}
