#include "picture_holder.h"

#include "exceptions.h"
#include "strict_decoder.h"

#include <QPainter>

#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <vector>

namespace kestrix {
namespace {

uint16_t ReadLe16(const uint8_t* data, int32_t size, int32_t offset) noexcept
{
    // Bytes past the end read as 0: the fields are taken "as far as the data reaches".
    const uint16_t lo = offset < size ? data[offset] : 0;
    const uint16_t hi = offset + 1 < size ? data[offset + 1] : 0;
    return static_cast<uint16_t>(lo | (hi << 8));
}

}  // namespace

struct TPictureHolder::State {
    QImage DecodedPicture;
    MemoryStream Data;
    bool Empty = true;
    bool Stretch = false;
    int32_t PixelsPerInchX = 96;
    int32_t PixelsPerInchY = 96;
    int32_t Frame = 0;
    int32_t CachedFrameCount = -1;
    uint16_t FrameLeft = 0;
    uint16_t FrameTop = 0;
    uint16_t FrameWidth = 0;
    uint16_t FrameHeight = 0;
    bool FrameTransparent = false;
    uint16_t FrameDisposal = 0;
    uint16_t ScreenWidth = 0;
    uint16_t ScreenHeight = 0;

    int32_t Size() const noexcept { return static_cast<int32_t>(Data.SizeValue()); }
    const uint8_t* Bytes() const noexcept { return Data.Memory(); }

    void ReleasePicture() noexcept { DecodedPicture = QImage(); }
};

TPictureHolder::TPictureHolder() : m(std::make_unique<State>()) {}

TPictureHolder::~TPictureHolder() = default;

void TPictureHolder::TakeBytes(Stream& source)
{
    source.SetPosition(0);
    const int64_t size = source.Size();
    if (size > std::numeric_limits<int32_t>::max())
        throw EReadError("Stream read error");
    // The cached count describes the old bytes; drop it before they change.
    m->CachedFrameCount = -1;
    m->Data.SetSize(size);
    m->Data.SetPosition(0);
    if (size > 0)
        source.ReadBuffer(m->Data.Memory(), static_cast<int32_t>(size));
}

void TPictureHolder::LoadFromStream(Stream* stream)
{
    if (stream == nullptr)
        return;
    TakeBytes(*stream);
    m->Empty = false;
    m->Frame = 1;
    m->ScreenWidth = m->ScreenHeight = 0;
    m->CachedFrameCount = -1;
    DecodeData();
    if (OnChange)
        OnChange(*this);
}

void TPictureHolder::LoadFromFile(const std::string& fileName)
{
    try {
        FileStream file(fileName, FileMode::OpenRead);
        TakeBytes(file);
        m->Empty = false;
        m->Frame = 1;
        m->ScreenWidth = m->ScreenHeight = 0;
        m->CachedFrameCount = -1;
        DecodeData();
        if (OnClear)
            OnClear(*this);
        if (OnChange)
            OnChange(*this);
    } catch (const std::exception&) {
        m->Empty = true;
    }
}

void TPictureHolder::ReadData(Stream* stream)
{
    if (stream == nullptr)
        return;
    TakeBytes(*stream);
    m->Empty = false;
    m->CachedFrameCount = -1;
    DecodeData();
}

void TPictureHolder::WriteData(Stream* stream) const
{
    if (stream == nullptr)
        return;
    stream->WriteBuffer(m->Bytes(), m->Size());
}

void TPictureHolder::Assign(const TPictureHolder* source)
{
    m->Empty = true;
    m->CachedFrameCount = -1;
    m->ReleasePicture();
    if (source == nullptr) {
        m->Data.Clear();
        m->Empty = true;
        if (OnChange)
            OnChange(*this);
        if (OnClear)
            OnClear(*this);
        return;
    }
    if (source != this) {
        m->Data.SetSize(source->m->Data.SizeValue());
        if (source->m->Size() > 0)
            std::memcpy(m->Data.Memory(), source->m->Bytes(), static_cast<std::size_t>(source->m->Size()));
    }
    m->Data.SetPosition(0);
    m->Empty = false;
    DecodeData();
    if (OnChange)
        OnChange(*this);
}

bool TPictureHolder::IsFrameStart(int32_t p) const noexcept
{
    const int32_t n = m->Size();
    const uint8_t* d = m->Bytes();
    return p >= 0 && p + 9 < n && d[p] == 0x21 && d[p + 1] == 0xF9 && d[p + 2] == 0x04 && d[p + 8] == 0x2C;
}

bool TPictureHolder::IsGIF() const noexcept
{
    return m->Size() > 4 && std::memcmp(m->Bytes(), "GIF8", 4) == 0;
}

int32_t TPictureHolder::FrameCount()
{
    if (m->CachedFrameCount != -1)
        return m->CachedFrameCount;
    if (!IsGIF())
        return -1;
    int32_t count = 0;
    const int32_t n = m->Size();
    for (int32_t p = 0; p < n; ++p)
        if (IsFrameStart(p))
            ++count;
    m->CachedFrameCount = count;
    return count;
}

int32_t TPictureHolder::FrameDelay(int32_t n)
{
    if (!IsGIF() || n < 1)
        return -1;
    const int32_t size = m->Size();
    const uint8_t* d = m->Bytes();
    int32_t number = 0;
    for (int32_t p = 0; p < size; ++p) {
        if (!IsFrameStart(p) || ++number != n)
            continue;
        const uint8_t packed = d[p + 3];
        m->FrameTransparent = (packed & 0x01) != 0;
        m->FrameDisposal = static_cast<uint16_t>((packed >> 2) & 0x07);
        return ReadLe16(d, size, p + 4);
    }
    return -1;
}

void TPictureHolder::DecodeData()
{
    const int32_t n = m->Size();
    const uint8_t* d = m->Bytes();
    std::vector<uint8_t> kept;
    try {
        kept.reserve(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        throw Exception("Could not allocate memory for image");
    }

    m->Data.SetPosition(0);
    m->FrameLeft = m->FrameTop = m->ScreenWidth = m->ScreenHeight = 0;
    if (IsGIF() && FrameCount() > 0) {
        m->ScreenWidth = ReadLe16(d, n, 6);
        m->ScreenHeight = ReadLe16(d, n, 8);
        int32_t counter = 1;
        bool skipping = false;
        for (int32_t p = 0; p < n; ++p) {
            if (IsFrameStart(p)) {
                if (m->Frame == counter) {
                    m->FrameLeft = ReadLe16(d, n, p + 9);
                    m->FrameTop = ReadLe16(d, n, p + 11);
                    m->FrameWidth = ReadLe16(d, n, p + 13);
                    m->FrameHeight = ReadLe16(d, n, p + 15);
                }
                ++counter;
                skipping = m->Frame >= counter;
            }
            if (!skipping)
                kept.push_back(d[p]);
        }
    } else if (n > 0) {
        kept.assign(d, d + n);
    }

    m->ReleasePicture();
    const std::span<const uint8_t> bytes(kept);
    const std::optional<ItemType> type = PreviewPictureType(bytes);
    if (!type)
        throw Exception("Could not load image. Invalid format");
    DecodedPicture picture = DecodePicture(*type, bytes, 1);
    if (!picture.Ok())
        throw Exception("Could not load image. Invalid format");
    m->DecodedPicture = std::move(picture.Frames.front());
}

void TPictureHolder::SetFrame(int32_t frame)
{
    m->Frame = frame;
    if (m->Size() == 0)
        return;
    DecodeData();
    if (OnFrameChange)
        OnFrameChange(*this);
}

void TPictureHolder::Draw(QPainter& canvas, const QRect& rect) const
{
    if (m->Empty || m->DecodedPicture.isNull())
        return;
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    canvas.drawImage(rect, m->DecodedPicture);
}

bool TPictureHolder::Empty() const noexcept
{
    return m->Empty;
}

int32_t TPictureHolder::Width() const noexcept
{
    return m->DecodedPicture.width();
}

int32_t TPictureHolder::Height() const noexcept
{
    return m->DecodedPicture.height();
}

bool TPictureHolder::HasPicture() const noexcept
{
    return !m->DecodedPicture.isNull();
}

int32_t TPictureHolder::DisplayWidth() const noexcept
{
    if (m->DecodedPicture.isNull())
        return 0;
    return m->ScreenWidth != 0 ? m->ScreenWidth : Width();
}

int32_t TPictureHolder::DisplayHeight() const noexcept
{
    if (m->DecodedPicture.isNull())
        return 0;
    return m->ScreenHeight != 0 ? m->ScreenHeight : Height();
}

int32_t TPictureHolder::Frame() const noexcept
{
    return m->Frame;
}
uint16_t TPictureHolder::FrameLeft() const noexcept
{
    return m->FrameLeft;
}
uint16_t TPictureHolder::FrameTop() const noexcept
{
    return m->FrameTop;
}
uint16_t TPictureHolder::FrameWidth() const noexcept
{
    return m->FrameWidth;
}
uint16_t TPictureHolder::FrameHeight() const noexcept
{
    return m->FrameHeight;
}
bool TPictureHolder::FrameTransparent() const noexcept
{
    return m->FrameTransparent;
}
uint16_t TPictureHolder::FrameDisposal() const noexcept
{
    return m->FrameDisposal;
}
uint16_t TPictureHolder::ScreenWidth() const noexcept
{
    return m->ScreenWidth;
}
uint16_t TPictureHolder::ScreenHeight() const noexcept
{
    return m->ScreenHeight;
}
int32_t TPictureHolder::PixelsPerInchX() const noexcept
{
    return m->PixelsPerInchX;
}
int32_t TPictureHolder::PixelsPerInchY() const noexcept
{
    return m->PixelsPerInchY;
}

void TPictureHolder::SetPixelsPerInch(int32_t x, int32_t y) noexcept
{
    m->PixelsPerInchX = x;
    m->PixelsPerInchY = y;
}

bool TPictureHolder::Stretch() const noexcept
{
    return m->Stretch;
}
void TPictureHolder::SetStretch(bool value) noexcept
{
    m->Stretch = value;
}
const MemoryStream& TPictureHolder::Data() const noexcept
{
    return m->Data;
}

}  // namespace kestrix
