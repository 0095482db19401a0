#include "HomePage.h"

#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

using namespace Qt::StringLiterals;

const std::array<TCountryCode, 13> CountryCodes = {{
    {u"Australia", u"au"},
    {u"Argentina", u"ar"},
    {u"France", u"fr"},
    {u"USA", u"us"},
    {u"Brazil", u"br"},
    {u"Germany", u"de"},
    {u"Egypt", u"eg"},
    {u"Spain", u"es"},
    {u"Portugal", u"pt"},
    {u"Sweden", u"se"},
    {u"Italy", u"it"},
    {u"Turkey", u"tr"},
    {u"South Africa", u"za"},
}};

namespace {

QString asciiLower(QString s) {
    for (QChar& c : s)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return s;
}

QString asciiUpper(QString s) {
    for (QChar& c : s)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return s;
}

// A path written into a link target or image source is read by the browser as a URL
// relative to the page: these characters would end the path or start an escape there.
QString urlPath(const QString& path) {
    QString out;
    out.reserve(path.size());
    for (QChar c : path) {
        switch (c.unicode()) {
        case u'%':
            out += u"%25"_s;
            break;
        case u'#':
            out += u"%23"_s;
            break;
        case u'?':
            out += u"%3F"_s;
            break;
        case u'\\':
            out += u"%5C"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString attributePath(const QString& path) {
    return HtmlEscape(urlPath(path));
}

} // namespace

QStringList TemplateFileList(const QString& folder) {
    QDir dir(folder);
    dir.setNameFilters(QString::fromUtf16(kTemplateMasks).split(u';', Qt::SkipEmptyParts));
    // ".o*" names hidden files; the name filters ignore letter case by default.
    dir.setFilter(QDir::Files | QDir::Hidden);
    dir.setSorting(QDir::Unsorted);
    QStringList files = dir.entryList();
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return files;
}

QString UserTemplateFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/trawlex/templates"));
}

QString CountryCode(const QString& fileName) {
    return asciiLower(fileName.left(2));
}

QString CountryName(const QString& code) {
    for (const TCountryCode& c : CountryCodes)
        if (code == QStringView(c.Code))
            return QString::fromUtf16(c.Name);
    return {};
}

QString DateStamp(const QDateTime& modified) {
    if (!modified.isValid())
        return QStringLiteral("18991230");
    const QDate date = modified.toLocalTime().date();
    if (date.year() < 1 || date.year() > 9999)
        return {};
    return date.toString(u"yyyyMMdd"_s);
}

QString FileDateStamp(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("18991230");
    return DateStamp(info.lastModified());
}

QString HtmlEscape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;"_s;
            break;
        case u'<':
            out += u"&lt;"_s;
            break;
        case u'>':
            out += u"&gt;"_s;
            break;
        case u'"':
            out += u"&quot;"_s;
            break;
        case u'\'':
            out += u"&#39;"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString TemplateDisplayName(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString bare = dot < 0 ? fileName : fileName.left(dot);
    // Escaped first, so the entities put in for "_" stay entities.
    return HtmlEscape(bare).replace(u'_', u"&nbsp;&nbsp;"_s);
}

QString BuildTemplateList(const QStringList& files, const QString& programDir,
                          const std::function<QString(const QString& fileName)>& dateStamp) {
    return BuildTemplateList(
        QList<TemplateFolder>{{programDir, files}}, programDir, [&](const QString& path) {
            return dateStamp ? dateStamp(path.mid(programDir.size())) : QString();
        });
}

QString BuildTemplateList(const QList<TemplateFolder>& folders, const QString& programDir,
                          const std::function<QString(const QString& path)>& dateStamp) {
    QString list = QStringLiteral(R"(<div id="list3"><ul>)");
    QString previous = QStringLiteral("yy");
    qsizetype count = 0;
    for (const TemplateFolder& folder : folders) {
        for (const QString& file : folder.files) {
            const QString code = CountryCode(file);
            if (code != previous) {
                list += QStringLiteral(R"(<br><h2><img src=")");
                list += attributePath(programDir + u"flags/"_s + code + u".png"_s);
                list += QStringLiteral(
                    R"(" width="30" height="20" border="1">&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;)");
                list += HtmlEscape(asciiUpper(code));
                list += u" = "_s;
                list += HtmlEscape(CountryName(code));
                list += u"</h2>"_s;
            }
            previous = code;
            list += QStringLiteral(R"(<li class="lien"><a href=")");
            list += attributePath(folder.path + file);
            list += u"\">"_s;
            list += TemplateDisplayName(file);
            list += u"</a>&nbsp;&nbsp;&nbsp;[datestamp: "_s;
            list += HtmlEscape(dateStamp ? dateStamp(folder.path + file) : QString());
            list += u"]</li><br>"_s;
        }
        count += folder.files.size();
    }
    list += u"<hr><strong>"_s;
    list += QString::number(count);
    list += u" templates found</strong><br></ul></div>"_s;
    return list;
}

QString FillPageTemplate(QString page, const QString& listText, const QString& programDir) {
    const QString folder = HtmlEscape(programDir);
    const QString image = attributePath(programDir + u"index.png"_s);
    page.replace(u"<\u00A7LIST\u00A7>"_s, listText);
    page.replace(u"<$LIST$>"_s, listText);
    page.replace(u"<\u00A7ProgDir\u00A7>"_s, folder);
    page.replace(u"<$ProgDir$>"_s, folder);
    page.replace(u"<\u00A7IMAGE\u00A7>"_s, image);
    page.replace(u"<$IMAGE$>"_s, image);
    return page;
}

QString DecodePageTemplate(const QByteArray& bytes) {
    return platform::IniFile::decode(bytes);
}

IndexPage WriteIndexToDisk(const QStringList& files, const QString& programDir,
                           const QString& distrib, const QString& tempFolder,
                           const TemplateFolder& user) {
    IndexPage result;
    // A configured sub-folder may be written with Windows separators.
    QString prefix = distrib;
    prefix.replace(u'\\', u'/');
    QFile source(programDir + prefix + u"index.tpl.html"_s);
    if (!source.open(QIODevice::ReadOnly)) {
        result.error = {IndexErrorCode::TemplateUnreadable, source.errorString()};
        return result;
    }
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError) {
        result.error = {IndexErrorCode::TemplateUnreadable, source.errorString()};
        return result;
    }

    QList<TemplateFolder> folders{{programDir, files}};
    if (!user.files.isEmpty())
        folders.append(user);
    const QString list = BuildTemplateList(folders, programDir, FileDateStamp);
    result.html = FillPageTemplate(DecodePageTemplate(bytes), list, programDir);

    result.path = QDir(tempFolder).filePath(QStringLiteral("index.html"));
    QSaveFile page(result.path);
    if (!page.open(QIODevice::WriteOnly)) {
        result.error = {IndexErrorCode::PageUnwritable, page.errorString()};
        return result;
    }
    page.write("\xEF\xBB\xBF");
    page.write(result.html.toUtf8());
    if (!page.commit())
        result.error = {IndexErrorCode::PageUnwritable, page.errorString()};
    return result;
}
