#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace pdx {

// The small read interface below the table reader: random reads from a file
// or from memory. The reader checks every length against Size() before it
// reads, so a read that still comes up short is an I/O failure.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies exactly n bytes at offset into dst; false when that is not possible.
    virtual bool ReadAt(std::uint64_t offset, void* dst, std::size_t n) = 0;
};

// Bytes held in memory (tests, the fuzzer).
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(QByteArray bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return static_cast<std::uint64_t>(bytes_.size()); }
    bool ReadAt(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    QByteArray bytes_;
};

// A file opened read-only; nothing is ever written to it.
class FileSource final : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Returns false when the file cannot be opened for reading, or when it
    // is not a regular file (a FIFO, device, socket or directory). The open
    // never waits: a FIFO without a writer is refused at once.
    bool Open(const QString& path);
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    void Close();

#ifdef Q_OS_UNIX
    int fd_ = -1;
#else
    QFile file_;
#endif
    std::uint64_t size_ = 0;
};

} // namespace pdx
