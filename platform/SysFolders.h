#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Where a private temporary folder may live, in order of preference. Every candidate
// is a per-user folder; one attempt is made to create each (no parents are made).
struct TempFolderCandidates {
    QStringList folders;
    unsigned uid = 0;
};

// The candidates of this process: $XDG_RUNTIME_DIR/trawlex, then "trawlex-<uid>" in the
// system temporary folder, then $XDG_CACHE_HOME (or ~/.cache)/trawlex, then ~/.trawlex-tmp.
TempFolderCandidates defaultTempFolderCandidates();

// Returns the first candidate that exists or can be created and is safe to use: a real
// folder (not a link) owned by this user and closed to everyone else (0700). The result
// always ends in "/". When no candidate can be used the result is empty and `error`
// receives the system's text for the last failure.
QString GetTempFolder(const TempFolderCandidates& candidates, QString* error = nullptr);
QString GetTempFolder(QString* error = nullptr);

// The folder of the program's read-only files (start-page template, language folder,
// flags, bundled templates, demo site), ending in "/". An installed program keeps them in
// the data folder `installedRelative` away from its executable's folder, so a moved
// installation still finds them; a build keeps them beside the executable.
QString ProgramFolder(const QString& executableFolder, const QString& installedRelative);
// The running program's: its executable's folder and the install layout it was built for.
QString ProgramFolder();

// Returns unused memory to the system, then processes pending events.
void TrimWorkingSet();

} // namespace platform
