#include "TextDecoder.h"

#include <algorithm>
#include <cstring>

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
    byteWise_ = singleByte_;
    for (std::size_t b = 0; b < 256 && byteWise_; ++b) {
        const char16_t unit = table_[b];
        if (unit >= 0xD800 && unit <= 0xDFFF)
            byteWise_ = false;
        else if (unit < 0x80)
            utf8_[b] = 1u << 24 | unit;
        else if (unit < 0x800)
            utf8_[b] = 2u << 24 | (0x80u | (unit & 0x3Fu)) << 8 | (0xC0u | unit >> 6);
        else
            utf8_[b] = 3u << 24 | (0x80u | (unit & 0x3Fu)) << 16 | (0x80u | ((unit >> 6) & 0x3Fu)) << 8 |
                       (0xE0u | unit >> 12);
    }
    asciiKept_ = byteWise_;
    for (char16_t b = 0; b < 0x80; ++b)
        asciiKept_ = asciiKept_ && table_[b] == b;
    return true;
}

char* TextDecoder::ToUtf8(const char* data, qsizetype size, char* out) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
    while (i < size) {
        // Eight ASCII bytes at once where the code page keeps ASCII as it is ...
        if (asciiKept_ && i + 8 <= size) {
            std::uint64_t eight;
            std::memcpy(&eight, in + i, sizeof eight);
            if ((eight & 0x8080808080808080u) == 0) {
                std::memcpy(out, &eight, sizeof eight);
                out += 8;
                i += 8;
                continue;
            }
        }
        // ... else byte by byte, three written whatever the length: the next
        // character overwrites what is too many.
        const qsizetype end = std::min(size, i + 8);
        for (; i < end; ++i) {
            const std::uint32_t code = utf8_[in[i]];
            out[0] = static_cast<char>(code & 0xFF);
            out[1] = static_cast<char>((code >> 8) & 0xFF);
            out[2] = static_cast<char>((code >> 16) & 0xFF);
            out += code >> 24;
        }
    }
    return out;
}

bool TextDecoder::FindHole(const char* data, qsizetype size) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    return std::any_of(in, in + size, [this](unsigned char b) { return hole_[b]; });
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
