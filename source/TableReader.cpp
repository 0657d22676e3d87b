// TableReader: construction and the code page. The other parts live in
// TableHeader.cpp (header and field list), TableChain.cpp (block chain),
// TableBlocks.cpp (cursor), TableValues.cpp (field values) and TableMemo.cpp
// (memo/BLOB data).

#include "TableReader.h"

#include "Scramble.h"
#include "TextDecoder.h"

#include <algorithm>

namespace pdx {

TableReader::TableReader(std::unique_ptr<ByteSource> source, QString displayName, const QString& orderField)
    : source_(std::move(source)), name_(std::move(displayName))
{
    ParseHeader();
    // A password-protected file is read through its key: everything after the
    // header, the chain's block headers included, reads as if it were plain.
    if (header_.encryptionKey != 0)
        source_ = UnscramblingSource::ForBlocks(std::move(source_), header_.encryptionKey,
                                                static_cast<std::uint64_t>(header_.headerSize), header_.blockSize);
    // A keyed table whose chain is pieced together again is put in order by its keys, which
    // are read with the code page.
    SetCodec(CodePage::Choose(header_.codePage));
    if (!orderField.isEmpty()) {
        const auto field = std::find_if(fields_.begin(), fields_.end(), [&](const FieldInfo& f) {
            return f.name.compare(orderField, Qt::CaseInsensitive) == 0;
        });
        if (field != fields_.end() && field->type != FieldType::Alpha && !IsBlobType(field->type) && field->width <= 4)
            keyField_ = static_cast<int>(field - fields_.begin());
    }
    WalkChain();
}

TableReader::~TableReader() = default;

void TableReader::Fail(ErrorCode code, const QStringList& more) const
{
    QStringList args{name_};
    args += more;
    throw SourceError(code, args);
}

bool TableReader::HasBlobFields() const
{
    return std::any_of(fields_.begin(), fields_.end(), [](const FieldInfo& f) { return IsBlobType(f.type); });
}

void TableReader::SetCodec(const QString& codecName)
{
    auto decoder = std::make_unique<TextDecoder>();
    if (!decoder->Init(codecName))
        Fail(ErrorCode::InvalidCodePage, {codecName});
    decoder_ = std::move(decoder);
    codec_ = codecName;
    for (auto& f : fields_)
        f.name = decoder_->Decode(f.rawName.constData(), f.rawName.size());
}

} // namespace pdx
