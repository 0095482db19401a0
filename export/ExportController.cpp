#include "export/ExportController.h"

#include "export/SaveCommand.h"
#include "lingo/uLingo.h"

#include <QSettings>

namespace exporter {

namespace {

const QString kSourceColumnsKey = QStringLiteral("Export/SourceColumns");

QSettings settingsOf(const QString& application) {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("OrvoPages"),
                     application);
}

} // namespace

ExportController::ExportController(GridAccess grid, QString settingsApplication)
    : m_grid(std::move(grid)), m_settingsApplication(std::move(settingsApplication)) {
    // As the window was designed: each command then preselects its own type.
    m_request.defaultSuffix = QStringLiteral("csv");
    m_request.fileName = QStringLiteral("DataSet - ");
    m_request.filter = saveFilter();
    m_request.filterIndex = kXlsFilter;
    m_request.confirmOverwrite = true;
    m_request.checkBoxText = sourceColumnsCaption();
}

bool ExportController::sourceColumns() const {
    // Anything but a stored yes (a missing, damaged or foreign value) is the default: off.
    const QVariant stored = settingsOf(m_settingsApplication).value(kSourceColumnsKey);
    return stored.metaType() == QMetaType::fromType<bool>()
               ? stored.toBool()
               : stored.toString() == QLatin1String("true");
}

void ExportController::setSourceColumns(bool on) {
    QSettings settings = settingsOf(m_settingsApplication);
    settings.setValue(kSourceColumnsKey, on);
    settings.sync();
}

void ExportController::saveText() {
    save(kTextFilter);
}

void ExportController::saveExcel() {
    save(kXlsxFilter);
}

void ExportController::saveJsonLines() {
    save(kJsonLinesFilter);
}

void ExportController::save(int preselectedFilter) {
    const std::unique_ptr<IGridSource> grid = m_grid ? m_grid() : nullptr;
    if (!grid || grid->rowCount() <= 0)
        return;
    const std::optional<FileType> type = FileTypeOfFilter(m_request.filter, preselectedFilter);
    m_request.defaultSuffix = ExtensionOf(type.value_or(FileType::Csv)).mid(1);
    m_request.checkBoxChecked = sourceColumns();
    // The option as the user leaves it in an accepted dialog is both this save's and the
    // remembered one, even when the file then cannot be written; a cancelled dialog
    // changes neither.
    struct Remember {
        ExportController& self;
        bool before;
        ~Remember() {
            if (self.m_request.checkBoxChecked != before)
                self.setSourceColumns(self.m_request.checkBoxChecked);
        }
    } remember{*this, m_request.checkBoxChecked};
    runSaveCommand(*grid, m_request, preselectedFilter, SaveOptions{m_separator, false},
                   lingo::sNosaveExcel1 + u'\n' + lingo::sNosaveExcel2);
}

} // namespace exporter
