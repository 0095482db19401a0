#include "tests/support/RecordingDialogs.h"

namespace platform {

void RecordingDialogs::message(const QString& text) {
    entries.append({Kind::Message, text, {}});
}

void RecordingDialogs::error(const QString& text) {
    entries.append({Kind::Error, text, {}});
}

bool RecordingDialogs::question(const QString& text) {
    entries.append({Kind::Question, text, {}});
    return m_answers.isEmpty() ? true : m_answers.takeFirst();
}

FileDialogResult RecordingDialogs::nextFile(const FileDialogRequest& request) {
    if (m_files.isEmpty())
        return {};
    const ScriptedFile next = m_files.takeFirst();
    FileDialogResult result = next.result;
    result.checkBoxChecked = next.checkBox.value_or(request.checkBoxChecked);
    return result;
}

FileDialogResult RecordingDialogs::openFile(const FileDialogRequest& request) {
    entries.append({Kind::OpenFile, request.title, request});
    return nextFile(request);
}

FileDialogResult RecordingDialogs::saveFile(const FileDialogRequest& request) {
    entries.append({Kind::SaveFile, request.title, request});
    return nextFile(request);
}

void RecordingDialogs::setNextFileName(const QString& fileName, int filterIndex,
                                       std::optional<bool> checkBox) {
    m_files.append({FileDialogResult{true, fileName, filterIndex, false}, checkBox});
}

QStringList RecordingDialogs::texts(Kind kind) const {
    QStringList out;
    for (const Entry& e : entries)
        if (e.kind == kind)
            out << e.text;
    return out;
}

} // namespace platform
