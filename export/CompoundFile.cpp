#include "export/CompoundFile.h"

#include <QtEndian>

#include <cstring>

namespace exporter::detail {

namespace {

constexpr quint32 kFreeSect = 0xFFFFFFFF;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFatSect = 0xFFFFFFFD;
constexpr quint32 kDifSect = 0xFFFFFFFC;
constexpr quint32 kNoStream = 0xFFFFFFFF;
constexpr quint32 kHeaderDifatEntries = 109;
constexpr quint32 kIdsPerSector = CompoundFileLayout::kSectorSize / 4;

void put16(QByteArray& b, qsizetype at, quint16 v) {
    qToLittleEndian(v, b.data() + at);
}
void put32(QByteArray& b, qsizetype at, quint32 v) {
    qToLittleEndian(v, b.data() + at);
}

void putEntry(QByteArray& b, qsizetype at, const QString& name, quint8 type, quint32 child,
              quint32 start, quint32 size) {
    // Names hold at most 31 UTF-16 units plus the terminator.
    const QString n = name.left(31);
    for (qsizetype i = 0; i < n.size(); ++i)
        put16(b, at + 2 * i, n.at(i).unicode());
    put16(b, at + 64, quint16((n.size() + 1) * 2));
    b[at + 66] = char(type);
    b[at + 67] = 1; // black: a tree of one node
    put32(b, at + 68, kNoStream);
    put32(b, at + 72, kNoStream);
    put32(b, at + 76, child);
    put32(b, at + 116, start);
    put32(b, at + 120, size);
}

void putUnusedEntry(QByteArray& b, qsizetype at) {
    put32(b, at + 68, kNoStream);
    put32(b, at + 72, kNoStream);
    put32(b, at + 76, kNoStream);
}

} // namespace

CompoundFileLayout::CompoundFileLayout(quint64 streamSize)
    : m_streamSize(streamSize),
      m_streamSectors(quint32((streamSize + kSectorSize - 1) / kSectorSize)) {
    // The table must cover its own sectors too, so grow it until it does.
    for (;;) {
        const quint32 difat =
            m_fatSectors > kHeaderDifatEntries
                ? (m_fatSectors - kHeaderDifatEntries + kIdsPerSector - 2) / (kIdsPerSector - 1)
                : 0;
        const quint64 total = quint64(m_fatSectors) + difat + 1 + m_streamSectors;
        if (quint64(m_fatSectors) * kIdsPerSector >= total) {
            m_difatSectors = difat;
            break;
        }
        m_fatSectors = quint32((total + kIdsPerSector - 1) / kIdsPerSector);
    }
}

quint32 CompoundFileLayout::trailingPadding() const {
    return quint32(quint64(m_streamSectors) * kSectorSize - m_streamSize);
}

QByteArray CompoundFileLayout::prefix(const QString& streamName) const {
    const quint32 directorySector = m_fatSectors + m_difatSectors;
    const quint32 firstStreamSector = directorySector + 1;
    const qsizetype size = qsizetype(kSectorSize) * (1 + directorySector + 1);
    QByteArray b(size, '\0');

    // Header.
    static const unsigned char signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(b.data(), signature, sizeof signature);
    put16(b, 24, 0x003E); // minor version
    put16(b, 26, 0x0003); // major version: 512-byte sectors
    put16(b, 28, 0xFFFE); // little-endian
    put16(b, 30, 9);      // sector size 2^9
    put16(b, 32, 6);      // mini sector size 2^6
    put32(b, 44, m_fatSectors);
    put32(b, 48, directorySector);
    put32(b, 56, minimumStreamSize); // mini stream cut-off
    put32(b, 60, kEndOfChain);       // no mini allocation table
    put32(b, 68, m_difatSectors > 0 ? m_fatSectors : kEndOfChain);
    put32(b, 72, m_difatSectors);
    for (quint32 i = 0; i < kHeaderDifatEntries; ++i)
        put32(b, 76 + 4 * i, i < m_fatSectors ? i : kFreeSect);

    auto sectorOffset = [](quint32 sector) { return qsizetype(kSectorSize) * (sector + 1); };

    // Allocation table: its own sectors, the extension sectors, the directory's one
    // sector, then the stream as one chain.
    const qsizetype fat = sectorOffset(0);
    const quint32 fatEntries = m_fatSectors * kIdsPerSector;
    for (quint32 i = 0; i < fatEntries; ++i) {
        quint32 v = kFreeSect;
        if (i < m_fatSectors)
            v = kFatSect;
        else if (i < directorySector)
            v = kDifSect;
        else if (i == directorySector)
            v = kEndOfChain;
        else if (i < firstStreamSector + m_streamSectors)
            v = i + 1 < firstStreamSector + m_streamSectors ? i + 1 : kEndOfChain;
        put32(b, fat + 4 * qsizetype(i), v);
    }

    // Extension sectors list the table sectors the header has no room for.
    for (quint32 d = 0; d < m_difatSectors; ++d) {
        const qsizetype at = sectorOffset(m_fatSectors + d);
        for (quint32 k = 0; k < kIdsPerSector - 1; ++k) {
            const quint64 fatIndex = kHeaderDifatEntries + quint64(d) * (kIdsPerSector - 1) + k;
            put32(b, at + 4 * k, fatIndex < m_fatSectors ? quint32(fatIndex) : kFreeSect);
        }
        put32(b, at + 4 * (kIdsPerSector - 1),
              d + 1 < m_difatSectors ? m_fatSectors + d + 1 : kEndOfChain);
    }

    // Directory: the root, the stream, two unused entries.
    const qsizetype dir = sectorOffset(directorySector);
    putEntry(b, dir, QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0);
    putEntry(b, dir + 128, streamName, 2, kNoStream, firstStreamSector, quint32(m_streamSize));
    putUnusedEntry(b, dir + 256);
    putUnusedEntry(b, dir + 384);
    return b;
}

} // namespace exporter::detail
