#include "stream.h"

#include "exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define KESTRIX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRIX_ASAN 1
#endif
#endif
#ifdef KESTRIX_ASAN
#include <sanitizer/asan_interface.h>
#endif

#ifndef KESTRIX_HUGE_PAGES
#define KESTRIX_HUGE_PAGES 1
#endif

namespace kestrix {

int64_t Stream::Size()
{
    const int64_t position = Seek(0, SeekOrigin::Current);
    const int64_t size = Seek(0, SeekOrigin::End);
    Seek(position, SeekOrigin::Beginning);
    return size;
}

void Stream::ReadBuffer(void* buffer, int32_t count)
{
    if (count > 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void Stream::WriteBuffer(const void* buffer, int32_t count)
{
    if (count > 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

int32_t MemoryStream::Read(void* buffer, int32_t count)
{
    if (count <= 0 || m_position < 0 || m_position >= m_size)
        return 0;
    const int64_t n = std::min<int64_t>(count, m_size - m_position);
    std::memcpy(buffer, m_memory.get() + m_position, static_cast<std::size_t>(n));
    m_position += n;
    return static_cast<int32_t>(n);
}

int32_t MemoryStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0 || m_position < 0)
        return 0;
    const int64_t end = m_position + count;
    if (end > m_capacity) {
        // Grow geometrically so that a series of small writes stays linear.
        Reserve(std::max(end, m_capacity + m_capacity / 2));
    }
    if (m_position > m_size)
        std::memset(m_memory.get() + m_size, 0, static_cast<std::size_t>(m_position - m_size));
    std::memcpy(m_memory.get() + m_position, buffer, static_cast<std::size_t>(count));
    m_position = end;
    m_size = std::max(m_size, end);
    return count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin)
{
    switch (origin) {
    case SeekOrigin::Beginning: m_position = offset; break;
    case SeekOrigin::Current: m_position += offset; break;
    case SeekOrigin::End: m_position = m_size + offset; break;
    }
    return m_position;
}

void MemoryStream::SetSize(int64_t newSize)
{
    newSize = std::max<int64_t>(newSize, 0);
    if (newSize == 0) {
        Clear();
        return;
    }
    if (newSize > m_capacity)
        Reserve(newSize);
    m_size = newSize;
    m_position = std::min(m_position, m_size);
}

void MemoryStream::Clear()
{
    m_memory.reset();
    m_size = m_capacity = m_position = 0;
}

namespace {

[[noreturn]] void RaiseOutOfMemory()
{
    throw EStreamError("Out of memory while expanding memory stream");
}

// Maps size bytes (a multiple of alignment) of zero pages at an address that is
// a multiple of alignment, or returns null.
uint8_t* MapAligned(std::size_t size, std::size_t alignment)
{
    // Map one alignment more than needed and give back what lies outside the aligned span.
    void* raw = ::mmap(nullptr, size + alignment, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto rawStart = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (rawStart + alignment - 1) / alignment * alignment;
    if (start > rawStart)
        ::munmap(raw, start - rawStart);
    if (const std::size_t tail = rawStart + alignment - start; tail > 0)
        ::munmap(reinterpret_cast<void*>(start + size), tail);
    return reinterpret_cast<uint8_t*>(start);
}

}  // namespace

void BlockRelease::operator()(uint8_t* block) const noexcept
{
    if (MappedSize == 0) {
        delete[] block;
        return;
    }
#ifdef KESTRIX_ASAN
    ASAN_UNPOISON_MEMORY_REGION(block, MappedSize);
#endif
    ::munmap(block, MappedSize);
}

MemoryBlock MemoryStream::AllocateBlock(int64_t capacity)
{
    try {
        return MemoryBlock(new uint8_t[static_cast<std::size_t>(capacity)]);
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
}

MemoryBlock TBufferMemoryStream::AllocateBlock(int64_t capacity)
{
    if (capacity < kHugePageSize)
        return MemoryStream::AllocateBlock(capacity);
    const auto huge = static_cast<std::size_t>(kHugePageSize);
    const std::size_t mapped = (static_cast<std::size_t>(capacity) + huge - 1) / huge * huge;
    uint8_t* block = MapAligned(mapped, huge);
    if (block == nullptr)
        RaiseOutOfMemory();
#if KESTRIX_HUGE_PAGES && defined(MADV_HUGEPAGE)
    // Fails where the kernel has no transparent huge pages; small pages serve then.
    ::madvise(block, mapped, MADV_HUGEPAGE);
#endif
#ifdef KESTRIX_ASAN
    ASAN_POISON_MEMORY_REGION(block + capacity, mapped - static_cast<std::size_t>(capacity));
#endif
    return MemoryBlock(block, BlockRelease{mapped});
}

int32_t SpanStream::Read(void* buffer, int32_t count)
{
    const auto size = static_cast<int64_t>(m_bytes.size());
    if (count <= 0 || m_position < 0 || m_position >= size)
        return 0;
    const int64_t n = std::min<int64_t>(count, size - m_position);
    std::memcpy(buffer, m_bytes.data() + m_position, static_cast<std::size_t>(n));
    m_position += n;
    return static_cast<int32_t>(n);
}

int64_t SpanStream::Seek(int64_t offset, SeekOrigin origin)
{
    switch (origin) {
    case SeekOrigin::Beginning: m_position = offset; break;
    case SeekOrigin::Current: m_position += offset; break;
    case SeekOrigin::End: m_position = static_cast<int64_t>(m_bytes.size()) + offset; break;
    }
    return m_position;
}

void SpanStream::SetSize(int64_t)
{
    throw EStreamError("Stream size error: read-only stream");
}

void MemoryStream::Reserve(int64_t capacity)
{
    MemoryBlock block = AllocateBlock(capacity);
    if (m_size > 0)
        std::memcpy(block.get(), m_memory.get(), static_cast<std::size_t>(m_size));
    m_memory = std::move(block);
    m_capacity = capacity;
}

namespace {

int OpenFlags(FileMode mode)
{
    switch (mode) {
    case FileMode::OpenRead: return O_RDONLY;
    case FileMode::OpenWrite: return O_WRONLY;
    case FileMode::OpenReadWrite: return O_RDWR;
    case FileMode::Create: return O_WRONLY | O_CREAT | O_TRUNC;
    }
    return O_RDONLY;
}

}  // namespace

FileStream::FileStream(const std::string& path, FileMode mode) : m_fileName(path)
{
    m_fd = ::open(path.c_str(), OpenFlags(mode) | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        const int error = errno;
        if (mode == FileMode::Create)
            throw FileCreateError(FormatMessage("Cannot create file \"%s\". %s", {path, SystemErrorText(error)}));
        throw EFOpenError(FormatMessage("Cannot open file \"%s\". %s", {path, SystemErrorText(error)}));
    }
}

FileStream::FileStream(int fd, std::string path) : m_fd(fd), m_fileName(std::move(path)) {}

FileStream::~FileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace {

// Repeats a read or write system call until count bytes moved, the end came or
// it failed; returns the bytes moved and leaves errno of a failure in error.
template <typename Byte, typename Call>
int32_t TransferAll(Byte* bytes, int32_t count, int& error, Call call)
{
    int32_t done = 0;
    while (done < count) {
        const ssize_t n = call(bytes + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

}  // namespace

int32_t FileStream::Read(void* buffer, int32_t count)
{
    return TransferAll(static_cast<char*>(buffer), count, m_lastError,
                       [this](char* at, std::size_t n) { return ::read(m_fd, at, n); });
}

int32_t FileStream::Write(const void* buffer, int32_t count)
{
    return TransferAll(static_cast<const char*>(buffer), count, m_lastError,
                       [this](const char* at, std::size_t n) { return ::write(m_fd, at, n); });
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin)
{
    const int whence = origin == SeekOrigin::Beginning ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    return ::lseek(m_fd, offset, whence);
}

void FileStream::SetSize(int64_t newSize)
{
    if (::ftruncate(m_fd, newSize) != 0)
        throw EStreamError(FormatMessage("Stream size error: %s", {SystemErrorText(errno)}));
}

}  // namespace kestrix
