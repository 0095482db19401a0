#pragma once

// The dialogs of a test: every message and dialog recorded, answers scripted in order.
#include "platform/Dialogs.h"

#include <QList>
#include <QStringList>

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
    // dialog is cancelled.
    void setNextAnswer(bool yes) { m_answers.append(yes); }
    void setNextFileName(const QString& fileName, int filterIndex = 1);
    void setNextCancel() { m_files.append(FileDialogResult{}); }

    QList<Entry> entries;
    QStringList texts(Kind kind) const;
    void clear() { entries.clear(); }

private:
    QList<bool> m_answers;
    QList<FileDialogResult> m_files;
};

} // namespace platform
