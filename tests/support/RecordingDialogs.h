#pragma once

// The dialogs of a test: every message and dialog recorded, answers scripted in order.
#include "platform/Dialogs.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace platform {

class RecordingDialogs : public Dialogs {
public:
    enum class Kind { Message, Error, Question, OpenFile, SaveFile };
    struct Entry {
        Kind kind;
        QString text;
        FileDialogRequest request;
    };

    void message(const QString& text) override;
    void error(const QString& text) override;
    bool question(const QString& text) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;

    // Scripted answers, used in order; without one a question answers yes and a file
    // dialog is cancelled. A file dialog's check box is left as the request set it unless
    // `checkBox` sets it.
    void setNextAnswer(bool yes) { m_answers.append(yes); }
    void setNextFileName(const QString& fileName, int filterIndex = 1,
                         std::optional<bool> checkBox = std::nullopt);
    void setNextCancel(std::optional<bool> checkBox = std::nullopt) {
        m_files.append({FileDialogResult{}, checkBox});
    }

    QList<Entry> entries;
    QStringList texts(Kind kind) const;
    void clear() { entries.clear(); }

private:
    struct ScriptedFile {
        FileDialogResult result;
        std::optional<bool> checkBox;
    };
    FileDialogResult nextFile(const FileDialogRequest& request);

    QList<bool> m_answers;
    QList<ScriptedFile> m_files;
};

} // namespace platform
