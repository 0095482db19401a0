#pragma once

#include <QString>

namespace exporter {

enum class ExportError {
    None,
    OpenFailed,     // the file (or its temporary sibling) cannot be created
    WriteFailed,    // a write, the final flush or the rename failed
    SourceFailed,   // the grid could not be read
    TooManyRows,    // more rows than a worksheet holds
    TooManyColumns, // a row wider than a worksheet
    CellTooLong,    // a cell text longer than a worksheet cell holds
    TooLarge,       // the workbook would exceed the file format's size
};

// The outcome of a write: the caller decides what, if anything, the user is told.
struct ExportStatus {
    ExportError code = ExportError::None;
    QString message; // technical detail for diagnostics, not for the user

    bool ok() const { return code == ExportError::None; }
    static ExportStatus success() { return {}; }
    static ExportStatus failure(ExportError code, QString message) {
        return {code, std::move(message)};
    }
};

} // namespace exporter
