#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kestrix {

enum class SeekOrigin { Beginning, Current, End };

// A sequence of bytes with a current position. Read and Write move as many
// bytes as they can and return that count; ReadBuffer and WriteBuffer demand
// the exact count and raise EReadError "Stream read error" or EWriteError
// "Stream write error" otherwise (bytes moved before the shortfall stay moved).
class Stream {
public:
    virtual ~Stream() = default;

    // Reads up to count bytes at the position into buffer; returns the number read (0 at the end).
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Writes up to count bytes at the position; returns the number written.
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Moves the position; returns the new position.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    // Total size in bytes.
    virtual int64_t Size();
    // Truncates or extends the stream; raises on failure.
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Beginning); }

    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
};

// Gives a memory block back the way it was obtained: mapped pages when
// MappedSize > 0, the free store otherwise.
struct BlockRelease {
    std::size_t MappedSize = 0;
    void operator()(uint8_t* block) const noexcept;
};
using MemoryBlock = std::unique_ptr<uint8_t[], BlockRelease>;

// A growable in-memory block. Growing allocates once to the requested size and
// keeps the bytes already held; memory beyond the old size is not initialised.
// Allocation failure raises EStreamError "Out of memory while expanding memory stream".
class MemoryStream : public Stream {
public:
    MemoryStream() = default;
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    MemoryStream(MemoryStream&&) noexcept = default;
    MemoryStream& operator=(MemoryStream&&) noexcept = default;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return m_size; }
    void SetSize(int64_t newSize) override;

    // Drops the block (size and position 0).
    void Clear();
    uint8_t* Memory() noexcept { return m_memory.get(); }
    const uint8_t* Memory() const noexcept { return m_memory.get(); }
    int64_t SizeValue() const noexcept { return m_size; }

protected:
    // A block of at least capacity bytes (capacity > 0), not initialised.
    // Raises EStreamError "Out of memory while expanding memory stream".
    virtual MemoryBlock AllocateBlock(int64_t capacity);

private:
    void Reserve(int64_t capacity);

    MemoryBlock m_memory;
    int64_t m_size = 0;
    int64_t m_capacity = 0;
    int64_t m_position = 0;
};

// The image buffer's data store. A block of 2 MiB or more is mapped 2 MiB-aligned
// and, where the system offers transparent huge pages, advised to use them, so
// that reading an image into it faults in one page per 2 MiB instead of 512
// (unless built with KESTRIX_HUGE_PAGES off). Smaller blocks come from the free store.
class TBufferMemoryStream : public MemoryStream {
public:
    static constexpr int64_t kHugePageSize = int64_t{2} << 20;

protected:
    MemoryBlock AllocateBlock(int64_t capacity) override;
};

// A read-only stream over bytes it does not own; they must outlive it. Writes
// take nothing and SetSize raises EStreamError "Stream size error: read-only stream".
class SpanStream : public Stream {
public:
    explicit SpanStream(std::span<const uint8_t> bytes) noexcept : m_bytes(bytes) {}

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(m_bytes.size()); }
    void SetSize(int64_t newSize) override;

private:
    std::span<const uint8_t> m_bytes;
    int64_t m_position = 0;
};

enum class FileMode { OpenRead, OpenWrite, OpenReadWrite, Create };

// A file stream over a POSIX descriptor. Opening with OpenRead shares the file
// with other readers and writers. Failure raises EFOpenError
// "Cannot open file "%s". %s" or, for Create, FileCreateError
// "Cannot create file "%s". %s" (path, system error text).
class FileStream : public Stream {
public:
    FileStream(const std::string& path, FileMode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t newSize) override;

    const std::string& FileName() const noexcept { return m_fileName; }
    int Handle() const noexcept { return m_fd; }
    // errno of the last failed Read or Write, 0 when none failed.
    int LastError() const noexcept { return m_lastError; }

protected:
    // Takes ownership of an already open descriptor.
    FileStream(int fd, std::string path);
    // Gives up the descriptor without closing it; returns it.
    int ReleaseHandle() noexcept
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd = -1;
    std::string m_fileName;
    int m_lastError = 0;
};

}  // namespace kestrix
