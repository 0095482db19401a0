#include "TemplateSession.h"

#include <QFileInfo>

namespace {

QString problemOf(const QString& fileName, const PluginError& error) {
    QString reason;
    switch (error.code) {
    case PluginErrorCode::InvalidTemplate:
        reason = error.detail;
        break;
    case PluginErrorCode::LoadFailed:
        reason = error.detail.isEmpty()
                     ? error.message
                     : error.message + QStringLiteral(" (") + error.detail + u')';
        break;
    case PluginErrorCode::NoEntryPoint:
        reason = QStringLiteral("not a template library: it has no CreatePlugin");
        break;
    case PluginErrorCode::CreateFailed:
        reason = QStringLiteral("the template failed to start");
        break;
    case PluginErrorCode::None:
        break;
    }
    return QFileInfo(fileName).fileName() + QStringLiteral(": ") + reason;
}

bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

} // namespace

std::optional<TemplateSession::Refusal> TemplateSession::load(const QString& fileName,
                                                              const QString& programDir) {
    if (m_current && !m_current->Declarative() &&
        sameFile(ResolveTemplatePath(fileName, programDir), m_current->FileName()))
        m_current.reset();

    PluginLoad load = TPlugin::Create(fileName, programDir);
    if (!load)
        return Refusal{problemOf(fileName, load.error)};
    std::int32_t columns = 0;
    try {
        columns = load.plugin->Instance()->GetColumnCount();
    } catch (const std::exception& e) {
        return Refusal{QFileInfo(fileName).fileName() +
                       QStringLiteral(": the template failed to give its columns (") +
                       QString::fromLocal8Bit(e.what()) + u')'};
    } catch (...) {
        return Refusal{QFileInfo(fileName).fileName() +
                       QStringLiteral(": the template failed to give its columns")};
    }
    if (columns <= 0)
        return Refusal{QFileInfo(fileName).fileName() +
                       QStringLiteral(": the template has no columns (%1)").arg(columns)};
    m_current = std::move(load.plugin);
    return std::nullopt;
}

void TemplateSession::logFailure(const char* what, const char* reason) {
    qWarning("The template failed in %s: %s", what, reason);
}
