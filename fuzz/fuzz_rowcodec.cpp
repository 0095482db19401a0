// The journal's row blobs: any bytes are either a list of fields or refused, the quick
// check agrees with the decoder, and a decoded list encodes to bytes that decode to it;
// any fields (the same bytes as UTF-16 units) come back as a file holds their text.
#include "FuzzSupport.h"

#include "journal/RowCodec.h"
#include "platform/Utf16.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const auto fields = journal::DecodeFields(bytes, qsizetype(size));
    FUZZ_CHECK(journal::FieldsAreWellFormed(bytes, qsizetype(size)) == fields.has_value());
    if (fields) {
        const QByteArray again = journal::EncodeFields(*fields);
        const auto back = journal::DecodeFields(again.constData(), again.size());
        FUZZ_CHECK(back && *back == *fields);
    }

    const QString text = fuzz::utf16Of(QByteArray(bytes, qsizetype(size)));
    const QStringList cells = text.split(QChar(0x1F));
    const QByteArray encoded = journal::EncodeFields(cells);
    const auto decoded = journal::DecodeFields(encoded.constData(), encoded.size());
    FUZZ_CHECK(decoded && decoded->size() == cells.size());
    for (qsizetype i = 0; i < cells.size(); ++i)
        FUZZ_CHECK(decoded->at(i) == platform::PairedSurrogates(cells[i]));
    return 0;
}
