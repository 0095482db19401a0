#include "platform/WidgetDialogs.h"

#include "platform/Sound.h"
#include "platform/UrlOpener.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

namespace platform {

QStringList toQtNameFilters(const QString& filter) {
    QStringList out;
    for (const auto& [caption, pattern] : parseFilter(filter)) {
        QString p = pattern;
        p.replace(u';', u' ');
        out << QStringLiteral("%1 (%2)").arg(caption, p);
    }
    return out;
}

void WidgetDialogs::message(const QString& text) {
    QMessageBox::information(m_parent, applicationTitle(), text);
}

void WidgetDialogs::error(const QString& text) {
    QMessageBox::critical(m_parent, applicationTitle(), text);
}

bool WidgetDialogs::question(const QString& text) {
    return QMessageBox::question(m_parent, applicationTitle(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

namespace {

FileDialogResult runFileDialog(QWidget* parent, const FileDialogRequest& r, bool save) {
    QFileDialog dialog(parent, r.title.isEmpty() ? applicationTitle() : r.title, r.directory);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = toQtNameFilters(r.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(
            filters.value(std::clamp<int>(r.filterIndex - 1, 0, filters.size() - 1)));
    }
    if (!r.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(r.defaultSuffix);
    if (!r.fileName.isEmpty())
        dialog.selectFile(r.fileName);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
    QCheckBox* option = nullptr;
    if (!r.checkBoxText.isEmpty()) {
        // The desktop's own dialog cannot carry a widget of ours: Qt's dialog can, below
        // its file-type row, where keyboard and screen readers reach it like its others.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        option = new QCheckBox(r.checkBoxText, &dialog);
        option->setObjectName(QStringLiteral("fileDialogOption"));
        option->setAccessibleName(r.checkBoxText);
        option->setChecked(r.checkBoxChecked);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(option, grid->rowCount(), 0, 1, grid->columnCount());
        else if (dialog.layout())
            dialog.layout()->addWidget(option);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    FileDialogResult result;
    result.accepted = true;
    result.checkBoxChecked = option ? option->isChecked() : r.checkBoxChecked;
    result.fileName = dialog.selectedFiles().constFirst();
    result.filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (result.filterIndex <= 0)
        result.filterIndex = 1;
    return result;
}

} // namespace

FileDialogResult WidgetDialogs::openFile(const FileDialogRequest& request) {
    return runFileDialog(m_parent, request, false);
}

FileDialogResult WidgetDialogs::saveFile(const FileDialogRequest& request) {
    return runFileDialog(m_parent, request, true);
}

void installDesktopServices() {
    setUrlOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); });
    setBeepFallback([] { QApplication::beep(); });
}

} // namespace platform
