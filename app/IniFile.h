#pragma once
// A settings file read and written the way Windows' initialization-file functions do it:
// sections and keys matched ignoring (ASCII) case, values trimmed and freed of one pair of
// enclosing quotes, text values cut at 2047 characters, integers in decimal or with a "0x" or
// "$" hex prefix. The file may be UTF-8 (with or without a byte-order mark) or UTF-16 with its
// byte-order mark; reading and writing decode it the same way. Every read looks at the file as
// it is now; every write changes one key and stores the file at once, keeping every other byte
// and the file's encoding.

#include <QString>

#include <optional>

class TIniFile {
public:
    explicit TIniFile(const QString& fileName) : FFileName(fileName) {}

    const QString& FileName() const { return FFileName; }

    // The key's value, or DEFAULT when the file, the section or the key is missing or the file
    // cannot be read.
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // The key's value as an integer; DEFAULT also when the value is not a valid integer.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;

    // Sets the key and stores the file, creating the file or the section when missing. False
    // when the file cannot be read back in full first (it is then left alone), is read-only, or
    // cannot be stored; the file then holds its old content whole, and REASON, when given, says
    // why in German (one sentence without the file's name and without a final period). Line
    // breaks in the value become blanks, so a value can never start a line of its own.
    //
    // The file is stored through a new file renamed over it. It is written in place instead when
    // it has other names (hard links), when the new file could not get its owner, group or
    // attributes, or when its folder takes no new file; a link to the file stays a link. A kill
    // at any point leaves the old content or the new one (FileUtils::StoreWholeFile).
    bool WriteString(const QString& section, const QString& key, const QString& value,
                     QString* reason = nullptr) const;
    bool WriteInteger(const QString& section, const QString& key, int value, QString* reason = nullptr) const;

private:
    QString FFileName;
};

namespace IniFile {

// Longest text a read returns (the Windows functions read into 2048 characters).
constexpr int MaxValueLength = 2047;

// An integer as the settings file holds it: optional sign, then decimal digits, or "$", "0x" or
// "0X" with one to eight hex digits (read as 32 bits, so "$FFFFFFFF" is -1). Nothing else.
std::optional<int> ParseInteger(const QString& text);

} // namespace IniFile
