// The holder of one loaded site template library, and the text conversions at the
// boundary with templates.
#pragma once

#include "orvo/IPlugin.h"

#include <QString>

#include <memory>

// Longest text taken from a template, in UTF-16 code units. A text without its
// terminating zero would otherwise be read until the scan runs off mapped memory; the
// bound keeps a runaway answer from swallowing the process's memory as well.
constexpr qsizetype kMaxTemplateText = qsizetype{64} * 1024 * 1024;

// A copy of a text a template returned: null reads as empty, at most maxLength code units
// are read (a longer text is cut there). Lone surrogates and other odd code units are
// kept as they are.
QString FromTemplateText(const char16_t* text, qsizetype maxLength = kMaxTemplateText);

// The zero-terminated UTF-16 of text, valid while text lives unchanged.
inline const char16_t* ToTemplateText(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

enum class PluginErrorCode {
    None,
    LoadFailed,      // the file is missing or not a loadable library
    NoEntryPoint,    // the library exports no "CreatePlugin"
    CreateFailed,    // CreatePlugin failed or stored no interface
    InvalidTemplate, // a declarative template file that is refused
};

struct PluginError {
    PluginErrorCode code = PluginErrorCode::None;
    // "Impossible to load DLL", "Invalid OrvoPage!", or for a refused declarative file its
    // name and the problem: "us_x.orp.json: columns[2].select: unknown pseudo-class ':foo'".
    QString message;
    QString detail; // the system loader's own text, or a declarative file's problem alone
};

// Where the loader looks for fileName: a path with a "/" as it is; a bare name in
// programDir (the running program's folder when empty) when it is there, else in the
// current folder, never on the system's library path.
QString ResolveTemplatePath(const QString& fileName, const QString& programDir = {});

class TPlugin;
namespace declarative {
class DeclarativeTemplate;
}

struct PluginLoad {
    std::unique_ptr<TPlugin> plugin;
    PluginError error;
    explicit operator bool() const { return plugin != nullptr; }
};

class TPlugin {
public:
    // Loads the library fileName, calls its CreatePlugin once and keeps the interface. A
    // file that is JSON text rather than a library (told by its content) is read as a
    // declarative template instead.
    // A bare file name is looked for in programDir (the running program's folder when
    // empty), then in the current folder, never on the system's library path. On failure
    // a library already loaded is unloaded again and no object results.
    static PluginLoad Create(const QString& fileName, const QString& programDir = {});

    // Releases the interface, then unloads the library: the template's code must still be
    // mapped while its last Release runs.
    ~TPlugin();

    TPlugin(const TPlugin&) = delete;
    TPlugin& operator=(const TPlugin&) = delete;

    IPlugin* Instance() const { return fPlugin; }
    // The declarative template behind Instance(), or null for a compiled one.
    declarative::DeclarativeTemplate* Declarative() const { return fDeclarative; }
    // The path the library was loaded from.
    const QString& FileName() const { return fFileName; }

private:
    TPlugin(void* handle, TCreatePlugin create, IPlugin* plugin, QString fileName)
        : fHandle(handle), fCreate(create), fPlugin(plugin), fFileName(std::move(fileName)) {}

    void* fHandle = nullptr;
    TCreatePlugin fCreate = nullptr;
    IPlugin* fPlugin = nullptr;
    QString fFileName;
    declarative::DeclarativeTemplate* fDeclarative = nullptr;
};

// Makes fileName the current template: the previous one is released and its library
// unloaded before the new library is loaded, so loading the same file again starts with
// fresh library state. (A caller still inside a call into the previous template holds a
// copy of it; that one is released when the call returns.) After a failure there is no
// current template.
PluginError ReplaceTemplate(std::shared_ptr<TPlugin>& current, const QString& fileName,
                            const QString& programDir = {});
