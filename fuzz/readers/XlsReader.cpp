#include "readers/XlsReader.h"

#include <QtEndian>

#include <vector>

namespace fuzzread {

namespace {

constexpr quint32 kSector = 512;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kMaxRecord = 8224;

struct Failure {
    QString what;
};

quint16 u16(const QByteArray& b, qsizetype at) {
    if (at < 0 || at + 2 > b.size())
        throw Failure{QStringLiteral("read past the end at %1").arg(at)};
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 u32(const QByteArray& b, qsizetype at) {
    if (at < 0 || at + 4 > b.size())
        throw Failure{QStringLiteral("read past the end at %1").arg(at)};
    return qFromLittleEndian<quint32>(b.constData() + at);
}

class CompoundFile {
public:
    explicit CompoundFile(const QByteArray& file) : m_file(file) {
        if (file.size() < 3 * qsizetype(kSector) || file.size() % kSector != 0)
            throw Failure{QStringLiteral("size %1 is no whole number of sectors").arg(file.size())};
        if (!file.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")))
            throw Failure{QStringLiteral("no compound file signature")};
        if (u16(file, 28) != 0xFFFE || u16(file, 30) != 9)
            throw Failure{QStringLiteral("not little-endian with 512-byte sectors")};
        m_sectors = quint32(file.size() / kSector - 1);

        // The allocation table's sectors: 109 in the header, the rest in extension sectors.
        const quint32 fatSectors = u32(file, 44);
        std::vector<quint32> fatList;
        for (quint32 i = 0; i < 109 && fatList.size() < fatSectors; ++i)
            fatList.push_back(u32(file, 76 + 4 * i));
        quint32 difat = u32(file, 68);
        for (quint32 seen = 0; fatList.size() < fatSectors; ++seen) {
            if (difat >= m_sectors || seen > m_sectors)
                throw Failure{QStringLiteral("extension sector chain broken")};
            for (quint32 k = 0; k < 127 && fatList.size() < fatSectors; ++k)
                fatList.push_back(u32(file, offset(difat) + 4 * k));
            difat = u32(file, offset(difat) + 4 * 127);
        }
        for (const quint32 s : fatList) {
            if (s >= m_sectors)
                throw Failure{QStringLiteral("allocation table sector %1 outside the file").arg(s)};
            for (quint32 k = 0; k < kSector / 4; ++k)
                m_fat.push_back(u32(file, offset(s) + 4 * k));
        }
    }

    QByteArray stream(const QString& name) const {
        const QByteArray directory = chain(u32(m_file, 48), ~quint64(0));
        for (qsizetype at = 0; at + 128 <= directory.size(); at += 128) {
            const quint16 nameBytes = u16(directory, at + 64);
            if (nameBytes < 2 || nameBytes > 64 || directory[at + 66] != 2)
                continue;
            QString entry;
            for (int i = 0; i < nameBytes / 2 - 1; ++i)
                entry += QChar(u16(directory, at + 2 * i));
            if (entry != name)
                continue;
            const quint32 size = u32(directory, at + 120);
            if (size < u32(m_file, 56))
                throw Failure{
                    QStringLiteral("stream of %1 bytes belongs in the mini stream").arg(size)};
            return chain(u32(directory, at + 116), size);
        }
        throw Failure{QStringLiteral("no stream named %1").arg(name)};
    }

private:
    static qsizetype offset(quint32 sector) { return qsizetype(sector + 1) * kSector; }

    // The sectors of a chain, cut to `size` bytes; a chain shorter than that, a loop or a
    // sector outside the file is a failure.
    QByteArray chain(quint32 start, quint64 size) const {
        QByteArray out;
        quint32 s = start;
        for (quint32 steps = 0; s != kEndOfChain; ++steps) {
            if (s >= m_sectors || s >= m_fat.size() || steps > m_sectors)
                throw Failure{QStringLiteral("chain broken at sector %1").arg(s)};
            out += m_file.mid(offset(s), kSector);
            s = m_fat[s];
        }
        if (size == ~quint64(0))
            return out;
        if (quint64(out.size()) < size || quint64(out.size()) - size >= kSector)
            throw Failure{
                QStringLiteral("chain of %1 bytes for a stream of %2").arg(out.size()).arg(size)};
        return out.left(qsizetype(size));
    }

    const QByteArray& m_file;
    quint32 m_sectors = 0;
    std::vector<quint32> m_fat;
};

struct Record {
    quint16 type;
    qsizetype at; // of the record's header in the stream
    QByteArray data;
};

// The shared strings, read across the SST record and its CONTINUE records; a string's
// characters may go on in the next record, which starts with its own width flag.
std::vector<QString> sharedStrings(const std::vector<Record>& parts, quint32 count) {
    std::vector<QString> out;
    std::size_t part = 0;
    qsizetype pos = 8;
    const auto left = [&] { return parts[part].data.size() - pos; };
    while (out.size() < count) {
        if (left() == 0) {
            if (++part >= parts.size())
                throw Failure{QStringLiteral("shared strings end early")};
            pos = 0;
        }
        if (left() < 3)
            throw Failure{QStringLiteral("string header split across records")};
        const quint16 length = u16(parts[part].data, pos);
        quint8 flags = quint8(parts[part].data[pos + 2]);
        pos += 3;
        if (flags & ~1)
            throw Failure{QStringLiteral("unexpected string flags %1").arg(flags)};
        QString s;
        while (s.size() < length) {
            if (left() == 0) {
                if (++part >= parts.size() || parts[part].type != 0x003C)
                    throw Failure{QStringLiteral("string goes on past the shared strings")};
                pos = 0;
                flags = quint8(parts[part].data.at(0));
                if (flags & ~1)
                    throw Failure{QStringLiteral("bad width flag in CONTINUE")};
                pos = 1;
                if (s.isEmpty())
                    throw Failure{QStringLiteral("string header parted from its first character")};
                if (s.back().isHighSurrogate())
                    throw Failure{QStringLiteral("surrogate pair split across records")};
            }
            if (flags & 1) {
                if (left() < 2)
                    throw Failure{QStringLiteral("character split across records")};
                s += QChar(u16(parts[part].data, pos));
                pos += 2;
            } else {
                s += QChar(quint8(parts[part].data[pos]));
                pos += 1;
            }
        }
        out.push_back(s);
    }
    if (part + 1 != parts.size() || left() != 0)
        throw Failure{QStringLiteral("bytes left after the shared strings")};
    return out;
}

XlsCells readWorkbook(const QByteArray& file) {
    const QByteArray stream = CompoundFile(file).stream(QStringLiteral("Workbook"));
    std::vector<Record> records;
    int eofs = 0;
    for (qsizetype at = 0; eofs < 2;) {
        const quint16 type = u16(stream, at);
        const quint16 length = u16(stream, at + 2);
        if (length > kMaxRecord)
            throw Failure{QStringLiteral("record of %1 bytes at %2").arg(length).arg(at)};
        if (at + 4 + length > stream.size())
            throw Failure{QStringLiteral("record at %1 runs past the stream").arg(at)};
        records.push_back({type, at, stream.mid(at + 4, length)});
        at += 4 + length;
        if (type == 0x000A)
            ++eofs;
    }

    // Globals: BOF first, one BOUNDSHEET pointing at the sheet's BOF, SST then CONTINUE.
    if (records.empty() || records[0].type != 0x0809 || u16(records[0].data, 2) != 0x0005)
        throw Failure{QStringLiteral("the stream does not open with a workbook BOF")};
    std::vector<Record> sst;
    qsizetype sheetAt = -1;
    std::size_t i = 1;
    for (; records[i].type != 0x000A; ++i) {
        if (records[i].type == 0x0085)
            sheetAt = qsizetype(u32(records[i].data, 0));
        if (records[i].type == 0x00FC ||
            (records[i].type == 0x003C && !sst.empty() && sst.back().type != 0x00FF))
            sst.push_back(records[i]);
        if (records[i].type == 0x00FF && !sst.empty())
            sst.push_back(records[i]); // marks the end of the CONTINUE run
    }
    if (!sst.empty() && sst.back().type == 0x00FF)
        sst.pop_back();
    if (sst.empty())
        throw Failure{QStringLiteral("no shared string table")};
    const std::vector<QString> strings = sharedStrings(sst, u32(sst[0].data, 4));
    const quint32 references = u32(sst[0].data, 0);

    ++i;
    if (i >= records.size() || records[i].at != sheetAt || records[i].type != 0x0809 ||
        u16(records[i].data, 2) != 0x0010)
        throw Failure{QStringLiteral("BOUNDSHEET does not point at the worksheet's BOF")};
    XlsCells cells;
    for (++i; records[i].type != 0x000A; ++i) {
        if (records[i].type != 0x00FD)
            continue;
        const Record& r = records[i];
        if (r.data.size() != 10)
            throw Failure{QStringLiteral("LABELSST of %1 bytes").arg(r.data.size())};
        const quint32 index = u32(r.data, 6);
        if (index >= strings.size())
            throw Failure{QStringLiteral("string %1 of %2").arg(index).arg(strings.size())};
        const auto key = std::make_pair(int(u16(r.data, 0)), int(u16(r.data, 2)));
        if (!cells.emplace(key, XlsCell{strings[index], u16(r.data, 4)}).second)
            throw Failure{QStringLiteral("cell written twice")};
    }
    if (cells.size() != references)
        throw Failure{
            QStringLiteral("%1 cells, the table counts %2").arg(cells.size()).arg(references)};
    return cells;
}

} // namespace

std::optional<XlsCells> ReadXls(const QByteArray& file, QString& error) {
    try {
        return readWorkbook(file);
    } catch (const Failure& f) {
        error = f.what;
        return std::nullopt;
    }
}

} // namespace fuzzread
