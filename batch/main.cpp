// trawlex-batch: the window's capture from the command line, with no widget at all.
#include "batch/BatchRun.h"
#include "batch/Options.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void onSignal(int) {
    batch::requestInterrupt();
}

// Qt's and the engine's own notes (graphics back-end, sandbox, runtime folder) would bury
// the program's lines, which scripts read; TRAWLEX_BATCH_QT_MESSAGES=1 lets them through.
void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg ||
        qEnvironmentVariableIntValue("TRAWLEX_BATCH_QT_MESSAGES"))
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void installSignals() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    // A second signal ends the process at once, as a user pressing Ctrl-C twice expects.
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const batch::ParsedArguments parsed = batch::parseArguments(args, isatty(STDERR_FILENO) != 0);
    if (!parsed.options) {
        std::fprintf(stderr, "trawlex-batch: %s (see --help)\n", qPrintable(parsed.error));
        return batch::kBadInput;
    }
    if (parsed.options->help) {
        std::fputs(qPrintable(batch::usageText()), stdout);
        return batch::kCompleted;
    }

    // No display: the off-screen platform, picked here so that servers need no setting.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The engine's sandbox cannot run as root.
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("trawlex-batch: running as root: the browser engine's sandbox is off\n", stderr);
    }
    qInstallMessageHandler(qtMessage);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    installSignals();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trawlex-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TRAWLEX_VERSION));
    return batch::runBatch(*parsed.options, args);
}
