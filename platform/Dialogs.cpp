#include "platform/Dialogs.h"

namespace platform {

namespace {

// Answers without showing anything and keeps no record: the program installs its real
// dialogs at start-up, and code running before that (or without a window) must not block.
class SilentDialogs final : public Dialogs {
public:
    void message(const QString&) override {}
    void error(const QString&) override {}
    bool question(const QString&) override { return true; }
    FileDialogResult openFile(const FileDialogRequest&) override { return {}; }
    FileDialogResult saveFile(const FileDialogRequest&) override { return {}; }
};

SilentDialogs& silentDialogs() {
    static SilentDialogs silent;
    return silent;
}

Dialogs* g_dialogs = nullptr;

} // namespace

Dialogs& dialogs() {
    return g_dialogs ? *g_dialogs : silentDialogs();
}

void setDialogs(Dialogs* d) {
    g_dialogs = (d == &silentDialogs()) ? nullptr : d;
}

QList<QPair<QString, QString>> parseFilter(const QString& filter) {
    QList<QPair<QString, QString>> pairs;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        pairs.append({parts[i], parts[i + 1]});
    return pairs;
}

} // namespace platform
