// The floors a load is measured against: a file read whole with plain read()
// calls into one fresh block, either from the free store or mapped 2 MiB-aligned
// and advised for transparent huge pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::bench {

enum class ReadBlock { FreeStore, HugePages };

// Reads the file at path whole into a fresh block of kind block and gives the
// block back; returns the number of bytes read, or -1 when the file cannot be
// opened or the block cannot be had.
inline int64_t ReadWhole(const std::string& path, ReadBlock block)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    ::fstat(fd, &info);
    const auto size = static_cast<std::size_t>(info.st_size);
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    const std::size_t mapped = (size + kHuge - 1) / kHuge * kHuge;
    uint8_t* bytes = nullptr;
    void* raw = nullptr;
    if (block == ReadBlock::FreeStore) {
        bytes = new uint8_t[size];
    } else {
        raw = ::mmap(nullptr, mapped + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) {
            ::close(fd);
            return -1;
        }
        const auto start = (reinterpret_cast<std::uintptr_t>(raw) + kHuge - 1) / kHuge * kHuge;
        bytes = reinterpret_cast<uint8_t*>(start);
        ::madvise(bytes, mapped, MADV_HUGEPAGE);
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    // Touch the last byte so that the read cannot be left out.
    volatile uint8_t last = size > 0 ? bytes[size - 1] : 0;
    (void)last;
    if (block == ReadBlock::FreeStore)
        delete[] bytes;
    else
        ::munmap(raw, mapped + kHuge);
    return static_cast<int64_t>(done);
}

}  // namespace kestrix::bench
