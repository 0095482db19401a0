#include "IPlugins.h"

#include "DeclarativeFormat.h"
#include "DeclarativeTemplate.h"
#include "platform/SysFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

#include <utility>

QString FromTemplateText(const char16_t* text, qsizetype maxLength) {
    if (!text || maxLength <= 0)
        return {};
    qsizetype n = 0;
    while (n < maxLength && text[n] != u'\0')
        ++n;
    return QString(reinterpret_cast<const QChar*>(text), n);
}

namespace {

const QString kLoadFailed = QStringLiteral("Impossible to load DLL");
const QString kInvalid = QStringLiteral("Invalid OrvoPage!");

PluginLoad failure(PluginErrorCode code, const QString& message, const QString& detail = {}) {
    PluginLoad r;
    r.error = {code, message, detail};
    return r;
}

QString lastLoaderError() {
    const char* e = dlerror();
    return e ? QString::fromLocal8Bit(e) : QString();
}

// A compiled template is an ELF shared object; a declarative one is JSON text, told by
// its content (or, for a text too broken to tell, by its ".json" name).
bool isDeclarative(const QByteArray& head, const QString& path) {
    if (head.startsWith(QByteArray("\x7f\x45\x4c\x46", 4)))
        return false;
    return declarative::LooksLikeJson(head) ||
           path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
}

declarative::ParseResult readDeclarative(QFile& file) {
    // One byte over the limit is enough to tell the file is too long.
    const QByteArray bytes = file.read(declarative::kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt, file.errorString()};
    if (bytes.size() > declarative::kMaxFileBytes)
        return {std::nullopt,
                QStringLiteral("the file is over %1 bytes long").arg(declarative::kMaxFileBytes)};
    return declarative::ParseTemplate(bytes);
}

} // namespace

// dlopen searches the system's library folders for a name without a slash; a template
// named on the command line or found by the file list must come from the program folder
// or the current folder instead.
QString ResolveTemplatePath(const QString& fileName, const QString& programDir) {
    if (fileName.contains(u'/'))
        return fileName;
    QString dir = programDir;
    if (dir.isEmpty() && QCoreApplication::instance())
        dir = platform::ProgramFolder();
    if (!dir.isEmpty()) {
        const QString inProgram = QDir(dir).filePath(fileName);
        if (QFileInfo::exists(inProgram))
            return inProgram;
    }
    return QStringLiteral("./") + fileName;
}

PluginLoad TPlugin::Create(const QString& fileName, const QString& programDir) {
    if (fileName.isEmpty())
        return failure(PluginErrorCode::LoadFailed, kLoadFailed);
    const QString path = ResolveTemplatePath(fileName, programDir);
    if (QFile file(path); file.open(QIODevice::ReadOnly) && isDeclarative(file.peek(64), path)) {
        declarative::ParseResult parsed = readDeclarative(file);
        if (!parsed.description)
            return failure(PluginErrorCode::InvalidTemplate,
                           QFileInfo(path).fileName() + QStringLiteral(": ") + parsed.error,
                           parsed.error);
        auto* object = new declarative::DeclarativeTemplate(std::move(*parsed.description),
                                                            QFileInfo(path).absoluteFilePath());
        PluginLoad r;
        r.plugin.reset(new TPlugin(nullptr, nullptr, object, path));
        r.plugin->fDeclarative = object;
        return r;
    }
    dlerror();
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return failure(PluginErrorCode::LoadFailed, kLoadFailed, lastLoaderError());

    auto create = reinterpret_cast<TCreatePlugin>(dlsym(handle, "CreatePlugin"));
    if (!create) {
        const QString detail = lastLoaderError();
        dlclose(handle);
        return failure(PluginErrorCode::NoEntryPoint, kInvalid, detail);
    }

    IPlugin* plugin = nullptr;
    bool threw = false;
    try {
        create(&plugin);
    } catch (...) {
        // Whatever the template threw is destroyed here, while its code is still mapped.
        threw = true;
    }
    if (threw || !plugin) {
        // An object left behind by a CreatePlugin that threw may be half made: it is not
        // called, only dropped with its library.
        dlclose(handle);
        return failure(PluginErrorCode::CreateFailed, kInvalid);
    }

    PluginLoad r;
    r.plugin.reset(new TPlugin(handle, create, plugin, path));
    return r;
}

TPlugin::~TPlugin() {
    if (IPlugin* p = std::exchange(fPlugin, nullptr)) {
        try {
            p->Release();
        } catch (...) {
            // A template failing in its own clean-up must not stop the unload.
        }
    }
    if (fHandle)
        dlclose(std::exchange(fHandle, nullptr));
}

PluginError ReplaceTemplate(std::shared_ptr<TPlugin>& current, const QString& fileName,
                            const QString& programDir) {
    current.reset();
    PluginLoad load = TPlugin::Create(fileName, programDir);
    current = std::move(load.plugin);
    return load.error;
}
