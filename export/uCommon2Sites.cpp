#include "export/uCommon2Sites.h"

QString StripCRLF(QStringView value) {
    QString result;
    result.reserve(value.size());
    for (const QChar c : value) {
        if (c != u'\r' && c != u'\n')
            result.append(c);
    }
    return result;
}
