#pragma once
// Writes Paradox 7 tables with Debian's pxlib, an independent writer used as a test peer:
// test fixtures, the demo catalog and the benchmark's catalogs are made with it.
// pxlib is only ever used to write here (its memo reader crashes).

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct px_doc;

namespace pxw {

struct Field {
    std::string name;  // in the table's code page: keep field names ASCII
    char type;         // pxlib's type code (0x01 alpha, 0x03 short, 0x04 long, 0x05 money, 0x0C memo ...)
    int size;          // alpha width, or leader + 10 for memos; 0 for fixed-size types
};

struct Blank {};
// A value in field order: blank, an integer, a floating value or UTF-8 text.
using Value = std::variant<Blank, std::int64_t, double, std::string>;
using Row = std::vector<Value>;

struct Options {
    int keyFields = 0;                 // > 0: a keyed table (insert rows in key order)
    std::string codePage = "CP1252";   // iconv name of the table's code page
    int codePageNumber = 1252;         // the header's code-page word
    bool memoryBuffered = true;        // build the file in memory first (much faster)
    // Not empty: a password-protected table. pxlib scrambles its data blocks; the memo file is
    // scrambled afterwards with pxlib's memo cipher, as Paradox does, unless plainMemoFile keeps
    // it as pxlib leaves it.
    std::string password{};
    bool plainMemoFile = false;
};

class TableWriter {
public:
    // Creates PATH (and, when a field is a BLOB type, PATH with ".mb" for ".db").
    TableWriter(std::string path, std::vector<Field> fields, Options options = {});
    ~TableWriter();
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    void Add(const Row& row);
    // Finishes both files; called by the destructor when not called before.
    void Close();

private:
    std::string path_;
    std::vector<Field> fields_;
    Options options_;
    px_doc* doc_ = nullptr;
    void* iconv_ = nullptr;  // UTF-8 -> code page, for memo bytes pxlib does not convert
    std::string blobPath_;
    char* buffer_ = nullptr;
    std::size_t bufferSize_ = 0;
    void* stream_ = nullptr;  // FILE* of the memory buffer
    std::uint32_t protectKey_ = 0;  // scramble the written table with this key when it is closed
};

// The scrambling key in the header of a table or index file (its first 0x60 bytes): the word at
// 0x25, or at 0x5C when that one is 0xFF00FF00; 0 for a plain file.
std::uint32_t ScrambleKey(const unsigned char* header);
// The SIZE bytes of a plain table or index file made those of a password-protected one, in
// place: KEY where the header keeps it, every whole block scrambled with pxlib's cipher.
void ProtectBytes(unsigned char* bytes, std::size_t size, std::uint32_t key);
// The whole blocks of a protected file unscrambled with pxlib's cipher, in place; the header
// stays as it is.
void UnscrambleBytes(unsigned char* bytes, std::size_t size);

// The catalog's two tables with the fields the converter reads.
std::vector<Field> AlbumFields();
std::vector<Field> TitleFields();

// Field order of AlbumFields(): PNr, Interpret, Komponist, Titel, Dauer, Gruppe, Platte, Anz,
// Jahr, Preis, Preis (EUR), MP3Dir. TitleFields(): PNr, Seite, LNr, Titel, Werk, Komponist,
// Text, Interpret, Aufnahme, Dauer, Mp3Name.

}  // namespace pxw
