#include "TextDecoder.h"

namespace pdx {

bool TextDecoder::Init(const QString& codecName)
{
    auto decoder = MakeCodePageDecoder(codecName);
    if (!decoder)
        return false;
    decoder_ = std::move(decoder);

    // A code page is single-byte when every byte decodes on its own to exactly
    // one UTF-16 unit; then the table answers for it.
    singleByte_ = true;
    hasHoles_ = false;
    hole_.fill(false);
    for (int b = 0; b < 256 && singleByte_; ++b) {
        const char byte = static_cast<char>(b);
        const QString one = decoder_->Decode(QByteArrayView(&byte, 1));
        if (one.size() != 1)
            singleByte_ = false;
        else
            table_[static_cast<std::size_t>(b)] = one[0].unicode();
        if (singleByte_ && one[0] == QChar::ReplacementCharacter) {
            hole_[static_cast<std::size_t>(b)] = true;
            hasHoles_ = true;
        }
    }
    return true;
}

QString TextDecoder::Decode(const char* data, qsizetype size)
{
    if (size <= 0)
        return {};
    if (!singleByte_) {
        QString text = decoder_->Decode(QByteArrayView(data, size));
        if (text.contains(QChar::ReplacementCharacter))
            ++replaced_;
        return text;
    }
    QString text(size, Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = table_[in[i]];
    if (hasHoles_)
        CountHoles(in, size);
    return text;
}

void TextDecoder::DecodeInto(const char* data, qsizetype size, QString& text)
{
    if (size <= 0 || !singleByte_) {
        text = Decode(data, size);
        return;
    }
    text.resize(size);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = table_[in[i]];
    if (hasHoles_)
        CountHoles(in, size);
}

void TextDecoder::CountHoles(const unsigned char* in, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (hole_[in[i]]) {
            ++replaced_;
            return;
        }
    }
}

} // namespace pdx
