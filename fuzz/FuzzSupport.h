// What every fuzzer shares: a check that ends the run with a report, and a reader that
// cuts one input into the pieces a target needs.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A broken promise is a finding like a crash: abort, so libFuzzer saves the input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::fuzz::fail(#cond, __FILE__, __LINE__);                                               \
    } while (0)

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

// Reads an input front to back; past its end every read answers zero or empty, so any
// input is a valid one.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : m_data(reinterpret_cast<const char*>(data)), m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }

    std::uint8_t byte() { return atEnd() ? 0 : static_cast<std::uint8_t>(m_data[m_pos++]); }

    std::int32_t int32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(byte()) << (8 * i);
        std::int32_t out;
        std::memcpy(&out, &v, sizeof out);
        return out;
    }

    // The bytes up to the next `separator` (dropped) or the end.
    QByteArray until(char separator) {
        const std::size_t start = m_pos;
        while (m_pos < m_size && m_data[m_pos] != separator)
            ++m_pos;
        const QByteArray piece(m_data + start, qsizetype(m_pos - start));
        if (m_pos < m_size)
            ++m_pos;
        return piece;
    }

    QByteArray rest() {
        const QByteArray piece(m_data + m_pos, qsizetype(m_size - m_pos));
        m_pos = m_size;
        return piece;
    }

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Raw bytes as UTF-16 code units (an odd last byte dropped): reaches every code unit,
// unpaired surrogates included, which UTF-8 decoding would repair.
inline QString utf16Of(const QByteArray& bytes) {
    QString s(bytes.size() / 2, Qt::Uninitialized);
    std::memcpy(s.data(), bytes.constData(), std::size_t(s.size()) * 2);
    return s;
}

} // namespace fuzz
