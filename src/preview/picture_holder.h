#pragma once

#include "stream.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QPainter;

namespace kestrix {

class TPictureHolder;
using TPictureNotify = std::function<void(TPictureHolder& Sender)>;

// Keeps the raw bytes of one GIF or BMP and draws them decoded. Decoding goes
// through Qt's image readers over the kept bytes. Failures raise
// kestrix::Exception with the messages "Could not load image. Invalid format",
// "Could not load image", "Stream read error" (and the allocation messages).
class TPictureHolder {
public:
    TPictureHolder();
    ~TPictureHolder();
    TPictureHolder(const TPictureHolder&) = delete;
    TPictureHolder& operator=(const TPictureHolder&) = delete;

    // Takes the whole stream from its first byte, decodes it (Frame := 1) and
    // raises OnChange; a decoding error propagates and OnChange is not raised.
    void LoadFromStream(TStream* stream);
    // Like LoadFromStream but swallows every error (then Empty() is true);
    // raises OnClear, then OnChange, on success.
    void LoadFromFile(const std::string& fileName);
    // Takes the whole stream and decodes it with the current Frame; no event.
    void ReadData(TStream* stream);
    // Writes all kept bytes at the stream's position.
    void WriteData(TStream* stream) const;
    void SaveToStream(TStream* stream) const { WriteData(stream); }
    // Copies another holder's bytes (nullptr clears).
    void Assign(const TPictureHolder* source);

    // Draws the decoded picture scaled into rect, moved by FrameLeft/FrameTop.
    void Draw(QPainter& canvas, const QRect& rect) const;

    bool Empty() const noexcept;
    int32_t Width() const noexcept;
    int32_t Height() const noexcept;
    void SetWidth(int32_t) noexcept {}
    void SetHeight(int32_t) noexcept {}
    bool HasPicture() const noexcept;

    bool IsGIF() const noexcept;
    // -1 when not a GIF; otherwise the number of frame starts (cached).
    int32_t FrameCount();
    // Delay of frame start n (1-based) in hundredths, or -1.
    int32_t FrameDelay(int32_t n);
    int32_t DisplayWidth() const noexcept;
    int32_t DisplayHeight() const noexcept;

    int32_t Frame() const noexcept;
    // Re-decodes (when there are bytes) and raises OnFrameChange.
    void SetFrame(int32_t frame);

    uint16_t FrameLeft() const noexcept;
    uint16_t FrameTop() const noexcept;
    uint16_t FrameWidth() const noexcept;
    uint16_t FrameHeight() const noexcept;
    bool FrameTransparent() const noexcept;
    uint16_t FrameDisposal() const noexcept;
    uint16_t ScreenWidth() const noexcept;
    uint16_t ScreenHeight() const noexcept;
    int32_t PixelsPerInchX() const noexcept;
    int32_t PixelsPerInchY() const noexcept;
    void SetPixelsPerInch(int32_t x, int32_t y) noexcept;
    bool Stretch() const noexcept;
    void SetStretch(bool value) noexcept;

    // The kept bytes.
    const TMemoryStream& Data() const noexcept;

    TPictureNotify OnChange;
    TPictureNotify OnFrameChange;
    TPictureNotify OnClear;

private:
    struct State;
    std::unique_ptr<State> m;
};

}  // namespace kestrix
