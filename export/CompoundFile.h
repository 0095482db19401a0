#pragma once

#include <QByteArray>
#include <QString>

namespace exporter::detail {

// The layout of a compound document file (version 3, 512-byte sectors) that holds one
// stream below the root: the header, the allocation table (with its extension sectors
// when it outgrows the header) and the directory come first, then the stream's
// sectors, so the whole file can be written front to back once the stream's size is
// known. Streams below 4096 bytes would belong in the mini stream, which this layout
// does not use: the caller pads such a stream to minimumStreamSize.
class CompoundFileLayout {
public:
    static constexpr quint32 kSectorSize = 512;
    static constexpr quint32 minimumStreamSize = 4096;
    // Sizes and sector numbers stay well inside 32 bits.
    static constexpr quint64 maximumStreamSize = 0x7FF00000;

    // `streamSize` must lie between minimumStreamSize and maximumStreamSize.
    explicit CompoundFileLayout(quint64 streamSize);

    // Everything in front of the stream's first byte.
    QByteArray prefix(const QString& streamName) const;
    // Zero bytes that complete the stream's last sector.
    quint32 trailingPadding() const;

    quint32 fatSectors() const { return m_fatSectors; }
    quint32 difatSectors() const { return m_difatSectors; }

private:
    quint64 m_streamSize;
    quint32 m_streamSectors;
    quint32 m_fatSectors = 1;
    quint32 m_difatSectors = 0;
};

} // namespace exporter::detail
