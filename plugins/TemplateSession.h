// The current site template of a window or a program, and the one way to change it: a
// new file is loaded and checked before the current template is let go, so a file that
// is refused leaves everything as it was.
#pragma once

#include "IPlugins.h"

#include <QString>

#include <memory>
#include <optional>

class TemplateSession {
public:
    // The current template, or null. A caller that calls into it holds the copy for the
    // length of the call: a nested command may replace the template meanwhile.
    std::shared_ptr<TPlugin> current() const { return m_current; }
    explicit operator bool() const { return m_current != nullptr; }

    struct Refusal {
        // "<file>: <what is wrong>", one line, for the message the user sees.
        QString problem;
    };

    // Loads fileName (a bare name from programDir, as TPlugin::Create) and makes it
    // current when it loads and has at least one column; the template it replaces is
    // released only then. Reloading the file of the current compiled template releases
    // that one first instead: the system loader would hand back the library still loaded,
    // and a template starts with fresh library state. A refusal then leaves no template.
    std::optional<Refusal> load(const QString& fileName, const QString& programDir = {});

    // Drops the current template; a caller still inside one of its calls keeps it alive
    // until that call returns.
    void release() { m_current.reset(); }

    // Runs call on the current template's interface: its answer, or nothing when there is
    // no template or it fails. A failure is logged with what, never passed on: a template
    // is outside code.
    template <class F>
    auto guarded(const char* what, F&& call)
        -> std::optional<decltype(call(static_cast<IPlugin*>(nullptr)))> {
        const std::shared_ptr<TPlugin> held = m_current;
        if (!held || !held->Instance())
            return std::nullopt;
        try {
            return call(held->Instance());
        } catch (const std::exception& e) {
            logFailure(what, e.what());
        } catch (...) {
            logFailure(what, "not a standard exception");
        }
        return std::nullopt;
    }

private:
    static void logFailure(const char* what, const char* reason);

    std::shared_ptr<TPlugin> m_current;
};
