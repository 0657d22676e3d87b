// Text in the tables' code pages reads the same on every system: as Qt with
// ICU reads it on Linux, also where Windows' own converter would say
// otherwise (control codes, undefined bytes, broken double-byte characters).

#include "CodePage.h"
#include "TextDecoder.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

QString Decoded(const char* codec, const std::string& bytes)
{
    pdx::TextDecoder decoder;
    if (!decoder.Init(QString::fromLatin1(codec)))
        return QStringLiteral("<unknown codec>");
    return decoder.Decode(bytes.data(), qsizetype(bytes.size()));
}

TEST(CodePageDecoding, BytesOnWhichTheSystemsDisagreeReadAsWithIcu)
{
    struct Case {
        const char* codec;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"IBM850", "Gr\x81\xe1" "e", u"Grüße"},
        // IBM's places for three control codes
        {"IBM850", "\x1a\x1c\x7f", u"\u001c\u007f\u001a"},
        {"IBM437", "\xe6", u"\u03bc"}, // Greek mu, not the micro sign
        {"IBM857", "\xd5", u"\ufffd"}, // undefined, not a private use character
        {"windows-1252", "\x80\x81", u"\u20ac\u0081"},
        {"windows-1253", "\xaa\xd2", u"\u00aa\ufffd"},
        // code pages Windows does not have
        {"IBM851", "\x86\x1a", u"\u0386\u001c"},
        {"hp-roman8", "\xc8\xde\xaf", u"\u00e0\u00df\u00a3"},
        {"GBK", "\xc4\xe3\xba\xc3", u"\u4f60\u597d"},
        {"GBK", "a\xc4", u"a"},                       // a lead byte at the end is dropped
        {"GBK", "\xc4 \xc4\xe3", u"\ufffd \u4f60"},   // one without its trail byte is U+FFFD
        {"windows-949", "\xc7\xd1\x81\x41", u"\ud55c\uac02"},
        {"windows-949", "\xa2\xe8", u"\ufffd"},       // a pair that means nothing
        {"Big5", "\xa4\xa4\xa4\xe5", u"\u4e2d\u6587"},
        {"Shift_JIS", "\x82\xa0\xb1", u"\u3042\uff71"},
        {"Shift_JIS", "\x81 \xfd\x80", u"\u001a \u001a\u001a"}, // ICU's substitute there
        {"Shift_JIS", "\x81\xad", u"\ufffd"},
        {"ISO-8859-1", "Gr\xfc\xdf" "e", u"Grüße"}, // Qt's own decoder on every system
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decoded(c.codec, c.bytes), QString::fromStdU16String(c.text)) << c.codec;
    EXPECT_EQ(Decoded("klingonisch", "a"), "<unknown codec>");
    EXPECT_EQ(Decoded("IBM999", "a"), "<unknown codec>");
}

// Each byte alone, each pair starting above ASCII, and strings of random
// bytes: a fixed generator makes the same ones everywhere.
const std::vector<std::string>& Corpus()
{
    static const std::vector<std::string> corpus = [] {
        std::vector<std::string> all;
        for (int b = 0; b < 256; ++b)
            all.push_back(std::string(1, char(b)));
        for (int lead = 0x80; lead < 256; ++lead)
            for (int b = 0; b < 256; ++b)
                all.push_back({char(lead), char(b)});
        std::minstd_rand random(1991);
        for (int i = 0; i < 4000; ++i) {
            std::string bytes(3 + random() % 12, '\0');
            for (char& byte : bytes)
                byte = char(random() % 256);
            all.push_back(bytes);
        }
        return all;
    }();
    return corpus;
}

// What a code page makes of the corpus, as a SHA-1 over each text's length
// and UTF-16 units. The expected digests are those of Qt with ICU on Linux.
TEST(CodePageDecoding, EveryCodePageReadsTheCorpusAsOnLinux)
{
    const std::pair<const char*, const char*> digests[] = {
        {"IBM437", "6403d546457c94ee93c5913ee45955b20b06f673"},
        {"IBM737", "523004ce5f59aaace79c06f93cf06901bbd00c7f"},
        {"IBM775", "34eefd253bd7c054db4f2d33baf15dae1a306f52"},
        {"IBM850", "bc4c50c9ff0deaa85999d811830f124d1c134366"},
        {"IBM851", "8ba31bdf9c94e329004ef924bf9aadd63f9a582c"},
        {"IBM852", "cfc85217603d4198907a5fe705c09799e74b595c"},
        {"IBM855", "c9017299f1e1d57c87f56b9e8d5cde12629bfbf2"},
        {"IBM857", "aba601bc0cdb485dfe2b402590a437daad9c04d1"},
        {"IBM860", "c1d50d89fceedae6a98c24b7ceef31fa07ad5ffb"},
        {"IBM861", "d93916bf235b2e9277bd735b1bd122826556d352"},
        {"IBM862", "46be1ac21d9286c1394ef9ec3fa2859554a5d709"},
        {"IBM863", "02404c4197078bf89152f5d144e027a9073e04ae"},
        {"IBM864", "7f05a2d9bbd62d44f79b8e80f7dbaace337140a7"},
        {"IBM865", "c0a06c7c2b39ee551953404b5c9045b466f65821"},
        {"IBM866", "14482540723e1ba56b75eccad205731e2d39a458"},
        {"IBM869", "998dcf21322c0e18855826cf384058f3e70ef3dd"},
        {"windows-874", "ad17b0f472dd5efd6b134820a554fbdc8dbe5c38"},
        {"Shift_JIS", "282cf629072b33a4745dfed0955cb3b777241c27"},
        {"GBK", "14f7b366b73b2d15aa0b29b3dc156e6fd79801a0"},
        {"windows-949", "4df99e66fe48787f8c3f87bb76e3b5fcc12e7251"},
        {"Big5", "e8d31e530f06ad3c6c503ea990c0168b6c514535"},
        {"windows-1250", "5ed042e6bd7cbc5e9c56ec1e8f652dac486542a4"},
        {"windows-1251", "14635c7222142a16b8783ad02fcf8462e3c66eea"},
        {"windows-1252", "c298bea9e00421c65b2888051b3f3c1179a1adba"},
        {"windows-1253", "9e4205aa1a906a9fb898849dff69b7d5328100e0"},
        {"windows-1254", "e5344700907daf8a32736edacc6ba132bc024ecc"},
        {"windows-1255", "abade7f4c3289d890d1523b840c418f4bc36d93a"},
        {"windows-1256", "1ad6abf9e6609b6e62404e63646216d0648f800c"},
        {"windows-1257", "38015ecacf4c62b344964e07c65bb61141931e97"},
        {"windows-1258", "b07ca4cc17c3b812c60f2f5bb08b58cc50ac64e5"},
        {"hp-roman8", "a480da7ea6c41182aeb6e2c11c7dcf7b8bd7a8ca"},
    };
    for (const auto& [codec, expected] : digests) {
        pdx::TextDecoder decoder;
        ASSERT_TRUE(decoder.Init(codec)) << codec;
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (const std::string& bytes : Corpus()) {
            const QString text = decoder.Decode(bytes.data(), qsizetype(bytes.size()));
            const quint32 size = quint32(text.size());
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
        }
        EXPECT_EQ(hash.result().toHex().toStdString(), expected) << codec;
    }
}

// Text of a single-byte code page goes to UTF-8 straight from its bytes exactly
// as it does through UTF-16: with and without runs of ASCII, in code pages
// that keep ASCII and in one that does not (IBM864's percent sign), with
// bytes that have no character; double-byte code pages never go that way.
TEST(CodePageDecoding, SingleByteTextGoesToUtf8AsThroughUtf16)
{
    std::vector<std::string> texts = Corpus();
    std::minstd_rand random(29);
    for (int i = 0; i < 2000; ++i) {
        std::string bytes(random() % 40, '\0');
        for (char& byte : bytes)
            byte = char(random() % 10 < 7 ? 0x20 + random() % 0x5F : random() % 256);
        texts.push_back(bytes);
    }
    texts.push_back("Gr\x81\xe1" "e aus dem Plattenschrank, 45 Umdrehungen \xe1\xe1\xe1\xe1\xe1\xe1\xe1\xe1");
    const std::pair<const char*, bool> codecs[] = {
        {"IBM437", true},        {"IBM850", true},     {"IBM864", true},     {"IBM857", true},
        {"windows-1252", true},  {"windows-1253", true}, {"hp-roman8", true}, {"ISO-8859-1", true},
        {"Shift_JIS", false},    {"GBK", false},
    };
    for (const auto& [codec, byteWise] : codecs) {
        pdx::TextDecoder decoder;
        ASSERT_TRUE(decoder.Init(codec)) << codec;
        ASSERT_EQ(decoder.ByteWise(), byteWise) << codec;
        if (!byteWise)
            continue;
        for (const std::string& bytes : texts) {
            const QString text = decoder.Decode(bytes.data(), qsizetype(bytes.size()));
            std::string utf8(3 * bytes.size() + 3, '\0');
            utf8.resize(std::size_t(decoder.ToUtf8(bytes.data(), qsizetype(bytes.size()), utf8.data()) - utf8.data()));
            ASSERT_EQ(utf8, text.toStdString()) << codec << " " << QByteArray::fromStdString(bytes).toHex().toStdString();
            ASSERT_EQ(decoder.HasHoles(bytes.data(), qsizetype(bytes.size())), text.contains(QChar::ReplacementCharacter))
                << codec;
            if (!bytes.empty()) {
                ASSERT_EQ(decoder.Unit((unsigned char)bytes.back()), text.back().unicode()) << codec;
            }
        }
    }
}

// Every code page the engine may choose, by number, has a decoder.
TEST(CodePageDecoding, EveryCodePageOfTheEngineIsKnown)
{
    for (int number = 1; number < 2000; ++number) {
        const QString codec = pdx::CodePage::CodecForNumber(number);
        if (!codec.isEmpty()) {
            EXPECT_TRUE(pdx::TextDecoder().Init(codec)) << number << " " << codec.toStdString();
        }
    }
}

} // namespace
