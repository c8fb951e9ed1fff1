#pragma once

#include "load_watermark.h"
#include "stream.h"
#include "translation.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace kestrix {

class TCustomHexBuffer;

enum TProgressKind : uint8_t { pkLoad = 0, pkSave = 1, pkFind = 2 };

// Progress callback: Percent is 0..100; setting Cancel ends the running
// operation with EHexBuffer "Operation Cancelled".
using TProgressEvent = std::function<void(TCustomHexBuffer& Sender, TProgressKind ProgressType,
                                          const std::string& aName, uint8_t Percent, bool& Cancel)>;
using NotifyEvent = std::function<void(TCustomHexBuffer& Sender)>;
// Queues a callable to run later on the owner's event loop.
using NoticePoster = std::function<void(std::function<void()>)>;

// Why the last LoadFromFile failed.
enum class LoadCause {
    None,         // it did not fail
    CannotOpen,   // the path could not be opened (Error: why)
    NotAFile,     // it is no file with a size (Error: EISDIR a folder, ESPIPE a FIFO,
                  // pipe or socket, ENOTSUP another device, else why seeking to its end failed)
    TooLarge,     // Size is 2 GiB or more
    ShortRead,    // it gave fewer bytes than Size (Error: the read's failure, 0 for an early end)
    OutOfMemory,  // no block of Size bytes could be had
    Cancelled,    // OnProgress cancelled it
};

// The cause of a failed load, for messages that name it.
struct LoadFailure {
    LoadCause Cause = LoadCause::None;
    int Error = 0;
    int64_t Size = 0;  // the size the file gave before it was read; 0 when not known
};

// Byte string: counted single-byte characters, zero bytes allowed.
using ByteString = std::string;

// The data core of a hex-editor control: one loaded image held whole in memory,
// byte access, range copies into streams, the selection that searches set, and
// the search engine. Offsets, sizes and counts are signed 32-bit; -1 means none.
class TCustomHexBuffer {
public:
    static constexpr int32_t kTransferSize = 61440;  // 0xF000, the copy chunk

    TCustomHexBuffer();
    virtual ~TCustomHexBuffer() = default;
    TCustomHexBuffer(const TCustomHexBuffer&) = delete;
    TCustomHexBuffer& operator=(const TCustomHexBuffer&) = delete;

    // Replaces the image with the whole file at path, a regular file or a block
    // device. Raises EFOpenError "Cannot open %s.\r\n(%s.)" at once when the path
    // is missing, unreadable, a folder, a FIFO, pipe, socket, character device or
    // has no size (buffer unchanged); ERangeError for 2 GiB or more, EStreamError
    // when out of memory, EReadError when the file delivers fewer bytes than its
    // size, EHexBuffer on Cancel (buffer empty, file name kept).
    void LoadFromFile(const std::string& path);
    // Why the last LoadFromFile failed; Cause None after one that succeeded.
    const LoadFailure& LastLoadFailure() const noexcept { return m_loadFailure; }
    // Replaces the image with the whole source, from its first byte. Raises as
    // LoadFromFile does once the file is open (buffer empty).
    void LoadFromStream(Stream& source);
    // The loads from now on announce their block and their progress to
    // watermark (see LoadWatermark), so that one reader can work on the bytes
    // while they arrive; a failed load frees its block only once that reader
    // has released it. Null: no watermark. The watermark must outlive the loads.
    void SetLoadWatermark(LoadWatermark* watermark) noexcept { m_loadWatermark = watermark; }
    // Replaces the image with a copy of bytes, with the reports, events and
    // states of LoadFromStream.
    void LoadFromBytes(std::span<const uint8_t> bytes);

    // Copies count bytes (-1: to the source's end) from source to destination at
    // their positions in 61440-byte chunks, reporting progress as kind before
    // chunks; any other count <= 0 copies and reports nothing. EReadError when
    // the source runs short, EWriteError when the destination takes less, EHexBuffer
    // "Operation Cancelled" on Cancel; chunks copied before stay copied.
    void CopyWithProgress(Stream& source, Stream& destination, int32_t count, TProgressKind kind);

    // Writes count bytes from start (count -1: to the end) at destination's
    // position. count <= 0 writes nothing; a range outside the data raises
    // EReadError "Stream read error" after the whole chunks that lie inside.
    void WriteRangeToStream(Stream& destination, int32_t start, int32_t count);

    int32_t DataSize() const noexcept { return static_cast<int32_t>(m_dataStore.SizeValue()); }
    // The byte at offset; the caller keeps 0 <= offset < DataSize(). No check.
    uint8_t ByteAt(int32_t offset) const noexcept { return m_dataStore.Memory()[offset]; }
    // The whole image, DataSize() bytes (null when empty).
    const uint8_t* Data() const noexcept { return m_dataStore.Memory(); }
    // The whole image as a read-only span of DataSize() bytes (empty when empty).
    std::span<const uint8_t> Bytes() const noexcept { return {Data(), static_cast<std::size_t>(DataSize())}; }

    // Clears the selection and moves the caret to v. Raises EHexBuffer
    // "Invalid selection start" unless 0 <= v < DataSize().
    void SetSelStart(int32_t v);
    // Selects from the caret to w, widened to whole units (w = -1 clears). Raises
    // EHexBuffer "Invalid selection end" unless -1 <= w < DataSize().
    void SetSelEnd(int32_t w);
    // Bytes selected; 0 when there is no selection.
    int32_t SelectionLength() const noexcept;
    int32_t CaretPosition() const noexcept { return m_caret; }
    int32_t SelectionLow() const noexcept { return m_anchor < 0 ? -1 : m_low; }
    int32_t SelectionHigh() const noexcept { return m_anchor < 0 ? -1 : m_high; }

    // Empties the buffer and names it; runs once when the owner is set up.
    void ResetToEmpty(const std::string& name);

    const std::string& FileName() const noexcept { return m_fileName; }
    const std::string& LoadingName() const noexcept { return m_loadingName; }
    bool Modified() const noexcept { return m_modified; }

    int32_t BytesPerUnit() const noexcept { return m_bytesPerUnit; }
    // One of 1, 2, 4, 8; other values raise EHexBuffer.
    void SetBytesPerUnit(int32_t value);
    bool SwapNibbles() const noexcept { return m_swapNibbles; }
    void SetSwapNibbles(bool value) noexcept { m_swapNibbles = value; }
    TTranslationKind Translation() const noexcept { return m_translation; }
    // Raises EHexBuffer "Translations cannot be used in unicode mode" for a kind
    // other than tkAsIs while UnicodeChars is on; the same value is always accepted.
    void SetTranslation(TTranslationKind value);
    bool UnicodeChars() const noexcept { return m_unicodeChars; }
    // Switching on resets Translation to tkAsIs.
    void SetUnicodeChars(bool value) noexcept;
    bool UnicodeBigEndian() const noexcept { return m_unicodeBigEndian; }
    void SetUnicodeBigEndian(bool value) noexcept { m_unicodeBigEndian = value; }
    bool FindProgress() const noexcept { return m_findProgress; }
    void SetFindProgress(bool value) noexcept { m_findProgress = value; }
    int32_t MaxUndo() const noexcept { return m_maxUndo; }
    void SetMaxUndo(int32_t value) noexcept { m_maxUndo = value; }

    TProgressEvent OnProgress;
    NotifyEvent OnChange;
    NotifyEvent OnSelectionChanged;
    // How the deferred selection notice reaches the event loop. Without a poster
    // the notice stays pending until DeliverSelectionNotice() runs.
    NoticePoster PostNotice;

    // Delivers a pending selection notice now (OnSelectionChanged once).
    void DeliverSelectionNotice();
    // Changes counted since the pending notice was queued; 0 when none is pending.
    int32_t PendingSelectionChanges() const noexcept { return m_pendingChanges; }

    // Search engine (custom_hex_buffer_search.cpp in the find part, with the
    // byte search it runs on) --------------------------------------------

    // Turns data into the byte string that FindBytes compares and rebuilds
    // ExactTable and LowerTable. Empty data give an empty result and leave the
    // tables as they were.
    void PrepareFindData(ByteString data, bool ignoreCase, bool asText, ByteString& prepared);
    // Lowest s >= start where all length bytes match with s + length - 1 <= last
    // (last is clamped to DataSize() - 1), or -1. Buffer bytes are mapped through
    // LowerTable when ignoreCase, else ExactTable. A negative start counts as 0.
    // With FindProgress on and OnProgress set, reports pkFind; Cancel raises
    // EHexBuffer "Operation Cancelled".
    int32_t FindBytes(const uint8_t* pattern, int32_t length, int32_t start, int32_t last, bool ignoreCase);

    const std::array<uint8_t, 256>& ExactTable() const noexcept { return m_exactTable; }
    const std::array<uint8_t, 256>& LowerTable() const noexcept { return m_lowerTable; }

private:
    // Moves the caret and clears the selection, then raises the notification.
    void MoveCaret(int32_t position);
    void PlaceCaret(int32_t position) noexcept
    {
        m_caret = position;
        ClearSelection();
    }
    void ClearSelection() noexcept { m_anchor = m_low = m_high = -1; }
    void SelectionChanged();
    // Fires OnChange, then raises the selection-changed notification.
    void AnnounceChange();
    void ResetUndo() noexcept;
    void ReportProgress(TProgressKind kind, const std::string& name, uint8_t percent);
    int32_t FindBytesReporting(const uint8_t* pattern, int32_t length, int32_t start, int32_t last,
                               const std::array<uint8_t, 256>& table);

    TBufferMemoryStream m_dataStore;
    std::string m_fileName = "---";
    std::string m_loadingName;
    LoadFailure m_loadFailure;
    LoadWatermark* m_loadWatermark = nullptr;
    int32_t m_caret = 0;
    int32_t m_anchor = -1;
    int32_t m_low = -1;
    int32_t m_high = -1;
    bool m_modified = false;
    MemoryStream m_undoStore;
    int32_t m_undoCount = 0;
    int32_t m_undoNesting = 0;

    int32_t m_bytesPerUnit = 1;
    bool m_swapNibbles = false;
    TTranslationKind m_translation = tkAsIs;
    bool m_unicodeChars = false;
    bool m_unicodeBigEndian = false;
    bool m_findProgress = false;
    int32_t m_maxUndo = 1048576;

    int32_t m_pendingChanges = 0;
    std::array<uint8_t, 256> m_exactTable{};
    std::array<uint8_t, 256> m_lowerTable{};
};

// The buffer the main window instantiates.
class THexBuffer : public TCustomHexBuffer {};

}  // namespace kestrix
