#include "readers/JsonLinesReader.h"

#include <QStringDecoder>

namespace fuzzread {

namespace {

class Parser {
public:
    Parser(const QByteArray& text, QString& error) : m_text(text), m_error(error) {}

    std::optional<JsonMembers> object() {
        JsonMembers members;
        skipBlanks();
        if (!take('{'))
            return fail("no object");
        skipBlanks();
        if (!take('}')) {
            for (;;) {
                auto key = string();
                if (!key)
                    return std::nullopt;
                skipBlanks();
                if (!take(':'))
                    return fail("no colon");
                skipBlanks();
                auto value = string();
                if (!value)
                    return std::nullopt;
                members.emplace_back(std::move(*key), std::move(*value));
                skipBlanks();
                if (take('}'))
                    break;
                if (!take(','))
                    return fail("no comma");
                skipBlanks();
            }
        }
        skipBlanks();
        if (m_at != m_text.size())
            return fail("text after the object");
        return members;
    }

private:
    std::optional<QString> string() {
        if (!take('"'))
            return fail("no string");
        QString out;
        QByteArray run; // raw UTF-8 since the last escape
        for (;;) {
            if (m_at >= m_text.size())
                return fail("unterminated string");
            const char c = m_text[m_at++];
            if (c == '"' || c == '\\') {
                if (!flush(run, out))
                    return std::nullopt;
                if (c == '"')
                    return out;
                if (!escape(out))
                    return std::nullopt;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                return fail("unescaped control character");
            } else {
                run += c;
            }
        }
    }

    bool escape(QString& out) {
        if (m_at >= m_text.size())
            return fail("escape at the end"), false;
        switch (const char c = m_text[m_at++]) {
        case '"':
        case '\\':
        case '/':
            out += QChar(c);
            return true;
        case 'b':
            out += u'\b';
            return true;
        case 'f':
            out += u'\f';
            return true;
        case 'n':
            out += u'\n';
            return true;
        case 'r':
            out += u'\r';
            return true;
        case 't':
            out += u'\t';
            return true;
        case 'u': {
            if (m_at + 4 > m_text.size())
                return fail("short \\u escape"), false;
            bool ok = false;
            const ushort unit = m_text.mid(m_at, 4).toUShort(&ok, 16);
            if (!ok)
                return fail("bad \\u escape"), false;
            m_at += 4;
            out += QChar(unit);
            return true;
        }
        default:
            return fail("unknown escape"), false;
        }
    }

    // A leading U+FEFF is text here, so the decoder keeps it.
    bool flush(QByteArray& run, QString& out) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        const QString text = utf8(run);
        if (utf8.hasError())
            return fail("invalid UTF-8"), false;
        out += text;
        run.clear();
        return true;
    }

    bool take(char c) {
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }

    void skipBlanks() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\n'))
            ++m_at;
    }

    std::nullopt_t fail(const char* what) {
        m_error = QStringLiteral("%1 at byte %2").arg(QLatin1String(what)).arg(m_at);
        return std::nullopt;
    }

    const QByteArray& m_text;
    QString& m_error;
    qsizetype m_at = 0;
};

} // namespace

std::optional<JsonMembers> ReadJsonObjectLine(const QByteArray& line, QString& error) {
    return Parser(line, error).object();
}

} // namespace fuzzread
