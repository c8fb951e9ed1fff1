#include "custom_hex_buffer.h"

#include "exceptions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrix {
namespace {

// 100 * done / count rounded to the nearest integer, halves to even.
uint8_t PercentHalfEven(int64_t done, int64_t count)
{
    const int64_t numerator = 100 * done;
    int64_t quotient = numerator / count;
    const int64_t twice = 2 * (numerator % count);
    if (twice > count || (twice == count && (quotient & 1) != 0))
        ++quotient;
    return static_cast<uint8_t>(quotient);
}

[[noreturn]] void RaiseCannotOpen(const std::string& path, int error)
{
    throw EFOpenError(FormatMessage("Cannot open %s.\r\n(%s.)", {path, SystemErrorText(error)}));
}

// Why a file of this type cannot be loaded whole, or 0: a regular file or a
// block device tells its size before it is read; a FIFO, pipe or socket cannot,
// and a character device has none.
int RefusalOf(mode_t type)
{
    if (S_ISREG(type) || S_ISBLK(type))
        return 0;
    if (S_ISDIR(type))
        return EISDIR;
    if (S_ISFIFO(type) || S_ISSOCK(type))
        return ESPIPE;
    return ENOTSUP;
}

// The check before a load: opens path for reading, shared with other readers
// and writers, and returns the descriptor once what was opened proves to be a
// file with a size, recording the cause in failure otherwise. Opening does not
// wait, as it would for a FIFO without a writer.
int OpenImageFile(const std::string& path, LoadFailure& failure)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // A socket cannot be opened at all; say what it is rather than why open failed.
        struct stat info {};
        const int refusal = ::stat(path.c_str(), &info) == 0 ? RefusalOf(info.st_mode) : 0;
        failure =
            refusal != 0 ? LoadFailure{LoadCause::NotAFile, refusal, 0} : LoadFailure{LoadCause::CannotOpen, error, 0};
        RaiseCannotOpen(path, error);
    }
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : RefusalOf(info.st_mode);
    LoadCause cause = error != 0 ? LoadCause::NotAFile : LoadCause::None;
    // Files of the process file system claim to be regular but have no end to seek to.
    off_t size = 0;
    if (error == 0 && ((size = ::lseek(fd, 0, SEEK_END)) < 0 || ::lseek(fd, 0, SEEK_SET) < 0))
        error = errno, cause = LoadCause::NotAFile;
    if (error == 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno, cause = LoadCause::CannotOpen;
    if (error != 0) {
        ::close(fd);
        failure = {cause, error, 0};
        RaiseCannotOpen(path, error);
    }
    failure.Size = size;
    return fd;
}

// The image file, read through the descriptor that passed the check.
class ImageFile : public FileStream {
public:
    ImageFile(const std::string& path, LoadFailure& failure) : FileStream(OpenImageFile(path, failure), path) {}
};

constexpr int32_t kChunk = TCustomHexBuffer::kTransferSize;
constexpr int64_t kReadAhead = int64_t{1} << 20;

// The progress reports of a copy of count bytes in chunks: before a chunk, a
// report whenever the rounded percentage changed, and 100 before the last chunk.
class ChunkProgress {
public:
    explicit ChunkProgress(int64_t count) noexcept : m_count(count) {}

    // The percentage to report before the chunk that starts with remaining bytes
    // still to copy, or none.
    std::optional<uint8_t> Before(int64_t remaining) noexcept
    {
        const uint8_t p = PercentHalfEven(m_count - remaining, m_count);
        if (p == m_last && remaining > kChunk)
            return std::nullopt;
        m_last = remaining > kChunk ? p : 100;
        return m_last;
    }

private:
    int64_t m_count;
    uint8_t m_last = 255;  // nothing reported yet
};

// Moves a copy's chunks from the source's position to the destination's. Every
// route moves the bytes that a 61440-byte transfer buffer would and raises what
// it would: EReadError when the source holds fewer than n bytes, EWriteError
// when the destination takes fewer. Chunks moved before a failure stay moved.
class ChunkMover {
public:
    // loadTarget: the destination when it is the block being loaded, else null.
    ChunkMover(Stream& source, Stream& destination, MemoryStream* loadTarget)
        : m_source(source), m_destination(destination), m_memorySource(dynamic_cast<MemoryStream*>(&source)),
          m_loadTarget(loadTarget), m_readsAhead(loadTarget != nullptr && dynamic_cast<ImageFile*>(&source) != nullptr),
          m_filled(loadTarget != nullptr ? loadTarget->Position() : 0)
    {
    }

    void Move(int32_t n)
    {
        if (m_memorySource != nullptr)
            OutOfMemorySource(n);
        else if (m_loadTarget != nullptr && m_loadTarget->Position() + n <= m_loadTarget->SizeValue())
            IntoLoadTarget(n);
        else
            ThroughTransferBuffer(n);
    }

private:
    void OutOfMemorySource(int32_t n)
    {
        const int64_t position = m_memorySource->Position();
        if (position < 0 || position + n > m_memorySource->SizeValue())
            throw EReadError("Stream read error");
        m_destination.WriteBuffer(m_memorySource->Memory() + position, n);
        m_memorySource->SetPosition(position + n);
    }

    // A short read leaves part of a chunk in the block, which the failed load
    // empties anyway; every other destination gets whole chunks only.
    void IntoLoadTarget(int32_t n)
    {
        const int64_t position = m_loadTarget->Position();
        if (m_readsAhead)
            FillTo(position + n);
        else
            m_source.ReadBuffer(m_loadTarget->Memory() + position, n);
        m_loadTarget->SetPosition(position + n);
    }

    // The image's own file is read into the block a megabyte at a time: a read
    // call per chunk costs the kernel a call and a page cache lookup each, two
    // thirds again the time of the copy. The chunks, their reports and a cancel
    // between them stay as they were.
    void FillTo(int64_t end)
    {
        if (end <= m_filled)
            return;
        const int64_t target = std::max(end, std::min(m_filled + kReadAhead, m_loadTarget->SizeValue()));
        while (m_filled < target) {
            const int32_t got =
                m_source.Read(m_loadTarget->Memory() + m_filled, static_cast<int32_t>(target - m_filled));
            if (got <= 0)
                break;
            m_filled += got;
        }
        if (m_filled < end)
            throw EReadError("Stream read error");
    }

    void ThroughTransferBuffer(int32_t n)
    {
        m_transfer.resize(kChunk);
        m_source.ReadBuffer(m_transfer.data(), n);
        m_destination.WriteBuffer(m_transfer.data(), n);
    }

    Stream& m_source;
    Stream& m_destination;
    MemoryStream* m_memorySource;
    MemoryStream* m_loadTarget;
    bool m_readsAhead;
    int64_t m_filled;  // the block's bytes read from the file so far
    std::vector<uint8_t> m_transfer;
};

}  // namespace

TCustomHexBuffer::TCustomHexBuffer()
{
    for (int i = 0; i < 256; ++i)
        m_exactTable[i] = m_lowerTable[i] = static_cast<uint8_t>(i);
}

void TCustomHexBuffer::LoadFromFile(const std::string& path)
{
    m_loadFailure = {};
    ImageFile file(path, m_loadFailure);
    m_loadingName = path;
    const auto fail = [this](LoadCause cause, int error = 0) {
        m_loadFailure.Cause = cause;
        m_loadFailure.Error = error;
        m_loadingName.clear();
    };
    try {
        LoadFromStream(file);
    } catch (const ERangeError&) {
        fail(LoadCause::TooLarge);
        throw;
    } catch (const EReadError&) {
        fail(LoadCause::ShortRead, file.LastError());
        throw;
    } catch (const EStreamError&) {
        fail(LoadCause::OutOfMemory);
        throw;
    } catch (const EHexBuffer&) {
        fail(LoadCause::Cancelled);
        throw;
    } catch (...) {
        fail(LoadCause::None);
        throw;
    }
    m_loadFailure = {};
    m_fileName = path;
    m_loadingName.clear();
}

void TCustomHexBuffer::LoadFromStream(Stream& source)
{
    m_dataStore.Clear();
    std::exception_ptr failure;
    try {
        source.SetPosition(0);
        const int64_t size = source.Size();
        if (size > INT32_MAX)
            throw ERangeError("Range check error");
        m_dataStore.SetSize(size);
        m_dataStore.SetPosition(0);
        if (m_loadWatermark != nullptr)
            m_loadWatermark->Begin({m_dataStore.Memory(), static_cast<std::size_t>(size)});
        CopyWithProgress(source, m_dataStore, -1, pkLoad);
        m_dataStore.SetPosition(0);
    } catch (...) {
        failure = std::current_exception();
        // The block is freed below: the reader must be done with it first.
        if (m_loadWatermark != nullptr)
            m_loadWatermark->Fail();
    }
    if (m_undoNesting == 0)
        ResetUndo();
    m_modified = false;
    PlaceCaret(0);
    // Emptied before OnChange, so that no handler sees the bytes of a load that failed.
    if (failure) {
        m_dataStore.Clear();
        ResetUndo();
    }
    AnnounceChange();
    if (failure)
        std::rethrow_exception(failure);
}

void TCustomHexBuffer::LoadFromBytes(std::span<const uint8_t> bytes)
{
    SpanStream source(bytes);
    LoadFromStream(source);
}

void TCustomHexBuffer::CopyWithProgress(Stream& source, Stream& destination, int32_t count, TProgressKind kind)
{
    // The rest of a source positioned before its start can exceed 32 bits; the
    // first chunk's read then fails as for any range that starts outside.
    const int64_t total = count == -1 ? source.Size() - source.Position() : count;
    if (total <= 0)
        return;

    const std::string& name = m_loadingName.empty() ? m_fileName : m_loadingName;
    ChunkMover mover(source, destination, &destination == &m_dataStore ? &m_dataStore : nullptr);
    ChunkProgress progress(total);
    LoadWatermark* const watermark = kind == pkLoad && &destination == &m_dataStore ? m_loadWatermark : nullptr;
    for (int64_t remaining = total; remaining > 0;) {
        if (const std::optional<uint8_t> percent = progress.Before(remaining))
            ReportProgress(kind, name, *percent);
        const auto n = static_cast<int32_t>(std::min<int64_t>(remaining, kTransferSize));
        mover.Move(n);
        remaining -= n;
        if (watermark != nullptr)
            watermark->Advance(m_dataStore.Position());
    }
}

void TCustomHexBuffer::ReportProgress(TProgressKind kind, const std::string& name, uint8_t percent)
{
    if (!OnProgress)
        return;
    bool cancel = false;
    OnProgress(*this, kind, name, percent, cancel);
    if (cancel)
        throw EHexBuffer("Operation Cancelled");
}

void TCustomHexBuffer::WriteRangeToStream(Stream& destination, int32_t start, int32_t count)
{
    m_dataStore.SetPosition(start);
    CopyWithProgress(m_dataStore, destination, count, pkSave);
}

void TCustomHexBuffer::SetSelStart(int32_t v)
{
    if (v < 0 || v >= DataSize())
        throw EHexBuffer("Invalid selection start");
    MoveCaret(v);
}

void TCustomHexBuffer::SetSelEnd(int32_t w)
{
    if (w < -1 || w >= DataSize())
        throw EHexBuffer("Invalid selection end");
    ClearSelection();
    if (w < 0)
        return;
    const int32_t c = m_caret;
    const int32_t u = m_bytesPerUnit;
    m_low = std::min(c, w) / u * u;
    m_high = std::min(std::max(c, w) / u * u + u - 1, DataSize() - 1);
    m_anchor = c <= w ? m_low : m_high;
    SelectionChanged();
}

int32_t TCustomHexBuffer::SelectionLength() const noexcept
{
    return m_anchor < 0 ? 0 : m_high - m_low + 1;
}

void TCustomHexBuffer::ResetToEmpty(const std::string& name)
{
    m_dataStore.Clear();
    m_fileName = name;
    ResetUndo();
    m_modified = false;
    PlaceCaret(0);
    AnnounceChange();
}

void TCustomHexBuffer::SetBytesPerUnit(int32_t value)
{
    if (value != 1 && value != 2 && value != 4 && value != 8)
        throw EHexBuffer("Invalid bytes per unit");
    m_bytesPerUnit = value;
}

void TCustomHexBuffer::SetTranslation(TTranslationKind value)
{
    if (value == m_translation)
        return;
    if (value != tkAsIs && m_unicodeChars)
        throw EHexBuffer("Translations cannot be used in unicode mode");
    m_translation = value;
}

void TCustomHexBuffer::SetUnicodeChars(bool value) noexcept
{
    m_unicodeChars = value;
    if (value)
        m_translation = tkAsIs;
}

void TCustomHexBuffer::MoveCaret(int32_t position)
{
    PlaceCaret(position);
    SelectionChanged();
}

void TCustomHexBuffer::AnnounceChange()
{
    if (OnChange)
        OnChange(*this);
    SelectionChanged();
}

void TCustomHexBuffer::SelectionChanged()
{
    if (m_pendingChanges++ > 0)
        return;
    if (PostNotice)
        PostNotice([this] { DeliverSelectionNotice(); });
}

void TCustomHexBuffer::DeliverSelectionNotice()
{
    if (m_pendingChanges == 0)
        return;
    m_pendingChanges = 0;
    if (OnSelectionChanged)
        OnSelectionChanged(*this);
}

void TCustomHexBuffer::ResetUndo() noexcept
{
    m_undoStore.Clear();
    m_undoCount = 0;
    m_undoNesting = 0;
}

}  // namespace kestrix
