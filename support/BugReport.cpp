#include "support/BugReport.h"

using namespace Qt::StringLiterals;

namespace support {

QString EncodeReportPiece(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'%':
            out += u"%25"_s;
            break;
        case u'&':
            out += u"%26"_s;
            break;
        case u'#':
            out += u"%23"_s;
            break;
        case u'+':
            out += u"%2B"_s;
            break;
        case u'?':
            out += u"%3F"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString BugReportLink(const QString& mail, const QString& templateName, const QString& appName,
                      const QString& version) {
    return u"mailto:"_s + mail + u"?subject=Your TRX PlugIn doesn't work!&body=Extraction with "_s +
           EncodeReportPiece(templateName) + u" doesn't seem to be working. "_s +
           u"%0A%0AApplication name and version is "_s + EncodeReportPiece(appName) + version +
           u". Please fix it!%0A%0AGive details (and specific web pages if applicable)."_s +
           u"%0A%0ADon't forget to leave your full name..."_s;
}

} // namespace support
