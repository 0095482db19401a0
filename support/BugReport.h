// The problem report: one mailto link that the desktop's mail program opens as a draft.
#pragma once

#include <QString>

namespace support {

// text with "%", "&", "#", "+" and "?" percent-encoded: left as they are, they would end
// the body or turn into something else in the mail program. Everything else is kept.
QString EncodeReportPiece(const QString& text);

// "mailto:" + mail + the fixed subject and body naming the template and the program.
// The body's line breaks are the literal "%0A" of the link; the template name and the
// title prefix are encoded by EncodeReportPiece.
QString BugReportLink(const QString& mail, const QString& templateName, const QString& appName,
                      const QString& version);

} // namespace support
