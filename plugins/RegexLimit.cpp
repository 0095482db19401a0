#include "RegexLimit.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <vector>

namespace declarative {

struct Regex::Code {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
    ~Code() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

namespace {

QString pcreMessage(int errorCode) {
    std::vector<PCRE2_UCHAR> buffer(256);
    const int n = pcre2_get_error_message(errorCode, buffer.data(), buffer.size());
    if (n < 0)
        return QStringLiteral("error %1").arg(errorCode);
    return QString(reinterpret_cast<const QChar*>(buffer.data()), n);
}

// Page text may hold lone surrogates, which the matcher refuses as invalid UTF-16.
QString validUtf16(const QString& s) {
    QString out = s;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out[i];
        if (c.isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

} // namespace

std::optional<Regex> Regex::Compile(const QString& pattern, QString* error) {
    int errorCode = 0;
    PCRE2_SIZE offset = 0;
    const QString valid = validUtf16(pattern);
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(valid.utf16()),
                                     static_cast<PCRE2_SIZE>(valid.size()), PCRE2_UTF | PCRE2_UCP,
                                     &errorCode, &offset, nullptr);
    if (code == nullptr) {
        if (error)
            *error = QStringLiteral("%1 at offset %2").arg(pcreMessage(errorCode)).arg(offset);
        return std::nullopt;
    }
    auto holder = std::make_shared<Code>();
    holder->code = code;
    holder->context = pcre2_match_context_create(nullptr);
    if (holder->context == nullptr) {
        if (error)
            *error = QStringLiteral("out of memory");
        return std::nullopt;
    }
    pcre2_set_match_limit(holder->context, kMatchLimit);
    pcre2_set_depth_limit(holder->context, kDepthLimit);
    return Regex(std::move(holder));
}

Regex::Result Regex::Match(const QString& subject) const {
    Result result;
    const QString valid = validUtf16(subject);
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(m_code->code, nullptr);
    if (data == nullptr) {
        result.outcome = Outcome::GaveUp;
        return result;
    }
    const int rc = pcre2_match(m_code->code, reinterpret_cast<PCRE2_SPTR>(valid.utf16()),
                               static_cast<PCRE2_SIZE>(valid.size()), 0, 0, data, m_code->context);
    if (rc > 0) {
        result.outcome = Outcome::Match;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        // The first group when the pattern has one and it took part; else the whole match.
        int group = 0;
        std::uint32_t groups = 0;
        pcre2_pattern_info(m_code->code, PCRE2_INFO_CAPTURECOUNT, &groups);
        if (groups > 0)
            group = 1;
        const PCRE2_SIZE start = ovector[2 * group];
        const PCRE2_SIZE end = ovector[2 * group + 1];
        if (group < rc && start != PCRE2_UNSET && end >= start)
            result.value =
                valid.mid(static_cast<qsizetype>(start), static_cast<qsizetype>(end - start));
    } else if (rc == PCRE2_ERROR_NOMATCH) {
        result.outcome = Outcome::NoMatch;
    } else {
        // Match or depth limit, or the heap: the pattern gave up on this subject.
        result.outcome = Outcome::GaveUp;
    }
    pcre2_match_data_free(data);
    return result;
}

} // namespace declarative
