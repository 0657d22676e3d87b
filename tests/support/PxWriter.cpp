#include "PxWriter.h"

extern "C" {
#include <paradox.h>

// pxlib's block ciphers: exported by the library, though its header does not declare them.
void px_encrypt_db_block(unsigned char* src, unsigned char* dest, long encryption, long size, long blockno);
void px_decrypt_db_block(unsigned char* src, unsigned char* dest, long encryption, long size, long blockno);
void px_encrypt_mb_block(unsigned char* src, unsigned char* dest, long encryption, long size);
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace pxw {

namespace {

void Check(int rc, const char* what)
{
    if (rc < 0)
        throw std::runtime_error(std::string("pxlib: ") + what + " failed");
}

std::string BlobPathFor(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    return (dot == std::string::npos ? path : path.substr(0, dot)) + ".mb";
}

bool IsBlob(char type) { return type >= pxfMemoBLOb && type <= pxfGraphic; }

std::string Convert(void* cd, const std::string& utf8)
{
    if (!cd)
        return utf8;
    std::string out(utf8.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
    if (iconv(static_cast<iconv_t>(cd), &in, &inLeft, &dst, &outLeft) == std::size_t(-1))
        throw std::runtime_error("memo text not representable in the table's code page: " + utf8);
    out.resize(out.size() - outLeft);
    return out;
}

// pxlib leaves the .mb at whatever length its last block ended; readers expect whole 4 KiB blocks.
void PadToBlocks(const std::string& path)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::ate);
    if (!file)
        return;
    const std::streamoff size = file.tellp();
    const std::streamoff padded = (size + 4095) / 4096 * 4096;
    if (padded > size) {
        std::string zeros(std::size_t(padded - size), '\0');
        file.write(zeros.data(), std::streamsize(zeros.size()));
    }
}

// Scrambles a whole memo file, 4 KiB at a time, as Paradox does for a protected table.
void ScrambleMemoFile(const std::string& path, std::uint32_t key)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<unsigned char> plain(4096);
    std::vector<unsigned char> scrambled(4096);
    for (std::streamoff at = 0;; at += 4096) {
        file.seekg(at);
        if (!file.read(reinterpret_cast<char*>(plain.data()), 4096))
            break;
        px_encrypt_mb_block(plain.data(), scrambled.data(), long(key), 4096);
        file.seekp(at);
        file.write(reinterpret_cast<const char*>(scrambled.data()), 4096);
    }
    if (file.bad())
        throw std::runtime_error("cannot scramble " + path);
}

std::uint32_t Le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void PutLe32(unsigned char* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Hands every whole block of a table or index file to block(start, size, number).
template <typename F>
void ForEachBlock(unsigned char* bytes, std::size_t size, F&& block)
{
    const std::size_t headerSize = std::size_t(bytes[2] | bytes[3] << 8);
    const std::size_t blockSize = std::size_t(bytes[5]) * 1024;
    for (std::size_t n = 1; blockSize > 0 && headerSize + n * blockSize <= size; ++n)
        block(bytes + headerSize + (n - 1) * blockSize, blockSize, long(n));
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

std::uint32_t ScrambleKey(const unsigned char* header)
{
    const std::uint32_t first = Le32(header + 0x25);
    return first == 0xFF00FF00u ? Le32(header + 0x5C) : first;
}

void ProtectBytes(unsigned char* bytes, std::size_t size, std::uint32_t key)
{
    const int fileType = bytes[0x04];
    const bool dataFile = fileType != 1 && fileType != 4 && fileType != 7;
    // Version 4 and later data files keep the key in their header extension.
    if (bytes[0x39] >= 5 && dataFile) {
        PutLe32(bytes + 0x25, 0xFF00FF00u);
        PutLe32(bytes + 0x5C, key);
    } else {
        PutLe32(bytes + 0x25, key);
    }
    ForEachBlock(bytes, size, [&](unsigned char* block, std::size_t blockSize, long n) {
        std::vector<unsigned char> plain(block, block + blockSize);
        px_encrypt_db_block(plain.data(), block, long(key), long(blockSize), n);
    });
}

void UnscrambleBytes(unsigned char* bytes, std::size_t size)
{
    const std::uint32_t key = ScrambleKey(bytes);
    ForEachBlock(bytes, size, [&](unsigned char* block, std::size_t blockSize, long n) {
        std::vector<unsigned char> scrambled(block, block + blockSize);
        px_decrypt_db_block(scrambled.data(), block, long(key), long(blockSize), n);
    });
}

TableWriter::TableWriter(std::string path, std::vector<Field> fields, Options options)
    : path_(std::move(path)), fields_(std::move(fields)), options_(std::move(options))
{
    doc_ = PX_new();
    if (!doc_)
        throw std::runtime_error("pxlib: PX_new failed");

    // pxlib takes ownership of the field array and its names.
    auto* pxFields = static_cast<pxfield_t*>(doc_->malloc(doc_, fields_.size() * sizeof(pxfield_t), "fields"));
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        pxFields[i].px_fname = static_cast<char*>(doc_->malloc(doc_, fields_[i].name.size() + 1, "name"));
        std::strcpy(pxFields[i].px_fname, fields_[i].name.c_str());
        pxFields[i].px_ftype = fields_[i].type;
        pxFields[i].px_flen = fields_[i].size;
        pxFields[i].px_fdc = 0;
    }
    const int fileType = options_.keyFields > 0 ? pxfFileTypIndexDB : pxfFileTypNonIndexDB;

    if (options_.memoryBuffered) {
        bufferSize_ = std::size_t(1) << 30;  // address space only; pages are touched as written
        buffer_ = static_cast<char*>(std::calloc(1, bufferSize_));
        stream_ = buffer_ ? fmemopen(buffer_, bufferSize_, "w+") : nullptr;
        if (!stream_)
            throw std::runtime_error("cannot make a memory stream for " + path_);
        Check(PX_create_fp(doc_, pxFields, int(fields_.size()), static_cast<FILE*>(stream_), fileType), "create");
    } else {
        Check(PX_create_file(doc_, pxFields, int(fields_.size()), path_.c_str(), fileType), "create");
    }
    if (options_.keyFields > 0)
        Check(PX_set_value(doc_, "numprimkeys", float(options_.keyFields)), "numprimkeys");
    Check(PX_set_value(doc_, "codepage", float(options_.codePageNumber)), "codepage");
    Check(PX_set_parameter(doc_, "targetencoding", options_.codePage.c_str()), "targetencoding");
    Check(PX_set_parameter(doc_, "inputencoding", "UTF-8"), "inputencoding");
    if (!options_.password.empty())
        Check(PX_set_parameter(doc_, "password", options_.password.c_str()), "password");
    // pxlib reads its memo file back as if it were scrambled, though it writes it plain, and
    // then hands out wrong slots. A protected table with BLOB fields is therefore written plain
    // and scrambled when it is closed, with the key pxlib derived from the password.
    const bool blobs = std::any_of(fields_.begin(), fields_.end(), [](const Field& f) { return IsBlob(f.type); });
    if (!options_.password.empty() && blobs) {
        protectKey_ = std::uint32_t(doc_->px_head->px_encryption);
        doc_->px_head->px_encryption = 0;
    }

    for (const Field& field : fields_) {
        if (IsBlob(field.type)) {
            blobPath_ = BlobPathFor(path_);
            Check(PX_set_blob_file(doc_, blobPath_.c_str()), "blob file");
            break;
        }
    }
    iconv_t cd = iconv_open(options_.codePage.c_str(), "UTF-8");
    iconv_ = cd == iconv_t(-1) ? nullptr : cd;
}

TableWriter::~TableWriter()
{
    try {
        Close();
    } catch (...) {
    }
}

void TableWriter::Add(const Row& row)
{
    if (row.size() != fields_.size())
        throw std::runtime_error("row has the wrong number of values for " + path_);
    std::vector<pxval_t*> values(row.size());
    std::vector<std::string> texts(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
        MAKE_PXVAL(doc_, values[i]);
        pxval_t* v = values[i];
        v->type = fields_[i].type;
        if (std::holds_alternative<Blank>(row[i])) {
            v->isnull = 1;
        } else if (const auto* n = std::get_if<std::int64_t>(&row[i])) {
            // lval and dval share a union: set only the one pxlib reads for this type.
            if (fields_[i].type == pxfCurrency || fields_[i].type == pxfNumber || fields_[i].type == pxfTimestamp)
                v->value.dval = double(*n);
            else
                v->value.lval = long(*n);
        } else if (const auto* d = std::get_if<double>(&row[i])) {
            v->value.dval = *d;
        } else {
            // Memo bytes are stored as given: convert them here. Alpha is converted by pxlib.
            texts[i] = IsBlob(fields_[i].type) ? Convert(iconv_, std::get<std::string>(row[i]))
                                               : std::get<std::string>(row[i]);
            v->value.str.val = texts[i].data();
            v->value.str.len = int(texts[i].size());
        }
    }
    const int rc = PX_insert_record(doc_, values.data());
    for (pxval_t* v : values)
        doc_->free(doc_, v);
    Check(rc, "insert");
}

void TableWriter::Close()
{
    if (!doc_)
        return;
    PX_close(doc_);
    PX_delete(doc_);
    doc_ = nullptr;
    if (stream_) {
        auto* fp = static_cast<FILE*>(stream_);
        std::fflush(fp);
        std::fseek(fp, 0, SEEK_END);
        const long size = std::ftell(fp);
        std::fclose(fp);
        stream_ = nullptr;
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(buffer_, size);
        if (!out)
            throw std::runtime_error("cannot write " + path_);
    }
    std::free(buffer_);
    buffer_ = nullptr;
    if (iconv_)
        iconv_close(static_cast<iconv_t>(iconv_));
    iconv_ = nullptr;
    if (protectKey_ != 0) {
        std::vector<unsigned char> bytes = ReadFile(path_);
        ProtectBytes(bytes.data(), bytes.size(), protectKey_);
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path_);
    }
    if (!blobPath_.empty()) {
        PadToBlocks(blobPath_);
        if (!options_.password.empty() && !options_.plainMemoFile)
            ScrambleMemoFile(blobPath_, protectKey_);
    }
}

std::vector<Field> AlbumFields()
{
    return {
        {"PNr", pxfLong, 4},          {"Interpret", pxfAlpha, 50}, {"Komponist", pxfAlpha, 25},
        {"Titel", pxfAlpha, 50},      {"Dauer", pxfAlpha, 6},      {"Gruppe", pxfAlpha, 2},
        {"Platte", pxfAlpha, 3},      {"Anz", pxfShort, 2},        {"Jahr", pxfShort, 2},
        {"Preis", pxfCurrency, 8},    {"Preis (EUR)", pxfCurrency, 8}, {"MP3Dir", pxfMemoBLOb, 30},
    };
}

std::vector<Field> TitleFields()
{
    return {
        {"PNr", pxfLong, 4},        {"Seite", pxfShort, 2},      {"LNr", pxfShort, 2},
        {"Titel", pxfAlpha, 80},    {"Werk", pxfAlpha, 80},      {"Komponist", pxfAlpha, 40},
        {"Text", pxfMemoBLOb, 20},  {"Interpret", pxfAlpha, 60}, {"Aufnahme", pxfLong, 4},
        {"Dauer", pxfAlpha, 8},     {"Mp3Name", pxfMemoBLOb, 40},
    };
}

}  // namespace pxw
