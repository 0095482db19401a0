#include "export/ByteSink.h"

#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace exporter::detail {

ByteSink::ByteSink(QIODevice* device, std::size_t blockSize)
    : m_device(device), m_data(new char[blockSize]), m_capacity(blockSize) {}

void ByteSink::makeRoom(std::size_t count) {
    flush();
    if (count > m_capacity) {
        // One oversized item (a very long value): grow instead of splitting it.
        std::unique_ptr<char[]> bigger(new char[count]);
        m_data = std::move(bigger);
        m_capacity = count;
    }
}

void ByteSink::append(const char* bytes, std::size_t count) {
    char* p = reserve(count);
    std::memcpy(p, bytes, count);
    commit(p + count);
}

void ByteSink::appendZeros(quint64 count) {
    while (count > 0) {
        const std::size_t part = std::size_t(std::min<quint64>(count, m_capacity));
        char* p = reserve(part);
        std::memset(p, 0, part);
        commit(p + part);
        count -= part;
    }
}

bool ByteSink::flush() {
    if (m_failed) {
        m_size = 0;
        return false;
    }
    const char* p = m_data.get();
    qint64 left = qint64(m_size);
    while (left > 0) {
        const qint64 written = m_device->write(p, left);
        if (written <= 0) {
            m_failed = true;
            m_error = m_device->errorString();
            break;
        }
        p += written;
        left -= written;
    }
    m_size = 0;
    return !m_failed;
}

ExportStatus saveReplacing(const QString& fileName, bool directWriteFallback,
                           const std::function<ExportStatus(QIODevice*)>& write) {
    QSaveFile file(fileName);
    file.setDirectWriteFallback(directWriteFallback);
    if (!file.open(QIODevice::WriteOnly))
        return ExportStatus::failure(ExportError::OpenFailed, file.errorString());
    ExportStatus status = write(&file);
    if (!status.ok()) {
        file.cancelWriting();
        return status;
    }
    if (!file.commit())
        return ExportStatus::failure(ExportError::WriteFailed, file.errorString());
    return status;
}

} // namespace exporter::detail
