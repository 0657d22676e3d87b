#pragma once

#include <QByteArray>
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

    // The open file: a descriptor on POSIX systems, a HANDLE on Windows; -1
    // (also INVALID_HANDLE_VALUE) when closed. ByteSourcePosix.cpp and
    // ByteSourceWin.cpp implement the class for their systems.
    std::intptr_t file_ = -1;
    std::uint64_t size_ = 0;
};

// True when path names a regular file once links are followed: FIFOs,
// sockets, devices, directories and dangling links are no tables (opening a
// FIFO could wait for a writer forever).
bool IsRegularFile(const QString& path);

} // namespace pdx
