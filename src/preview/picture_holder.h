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
using PictureNotify = std::function<void(TPictureHolder& Sender)>;

// Keeps the raw bytes of one GIF or BMP and draws them decoded. Decoding goes
// through the strict decoder (DecodePicture) over the kept bytes: a picture
// whose data stop short or whose pixels are not all defined is refused like
// one that is no picture at all. Failures raise kestrix::Exception with the
// messages "Could not load image. Invalid format", "Stream read error" and
// "Could not allocate memory for image".
//
// A GIF frame start is a position p with p + 9 < size where the bytes
// 21 F9 04 sit at p and 2C at p + 8 (a graphic control extension directly
// followed by an image descriptor); every position is tested, the block
// structure is not walked. Frame starts are numbered from 1. All multi-byte
// GIF numbers are little-endian.
//
// States: empty (Empty() true, nothing drawn), shown (bytes and a decoded
// picture) and undecodable (bytes kept, Empty() false, nothing to draw).
class TPictureHolder {
public:
    // Empty, 96 x 96 pixels per inch, Frame 0.
    TPictureHolder();
    ~TPictureHolder();
    TPictureHolder(const TPictureHolder&) = delete;
    TPictureHolder& operator=(const TPictureHolder&) = delete;

    // Takes the whole stream from its first byte (whatever its position; the
    // stream is left at its end), Frame := 1, decodes and raises OnChange.
    // A decoding error propagates and OnChange is not raised; the bytes stay
    // and the holder is then undecodable. nullptr does nothing.
    void LoadFromStream(Stream* stream);
    // Like LoadFromStream but swallows every error (then Empty() is true);
    // raises OnClear, then OnChange, on success.
    void LoadFromFile(const std::string& fileName);
    // Takes the whole stream and decodes it with the current Frame; no event.
    // nullptr does nothing.
    void ReadData(Stream* stream);
    // Writes all kept bytes at the stream's position; nullptr does nothing.
    void WriteData(Stream* stream) const;
    void SaveToStream(Stream* stream) const { WriteData(stream); }
    // Copies another holder's bytes, decodes them with this holder's Frame and
    // raises OnChange (decoding errors propagate). nullptr clears the holder
    // and raises OnChange, then OnClear.
    void Assign(const TPictureHolder* source);

    // Draws the whole decoded picture scaled into rect (x, y, width, height);
    // nothing when Empty, undecodable or when rect has no area. A GIF frame
    // comes from the decoder already placed on its logical screen, so it is
    // not moved again by FrameLeft/FrameTop.
    void Draw(QPainter& canvas, const QRect& rect) const;

    bool Empty() const noexcept;
    // The decoded picture's own size in pixels, at every PixelsPerInchX/Y:
    // the decoder measures in pixels, so converting to a physical extent and
    // back at the same resolution gives the pixels again. 0 without a decoded
    // picture.
    int32_t Width() const noexcept;
    int32_t Height() const noexcept;
    void SetWidth(int32_t) noexcept {}
    void SetHeight(int32_t) noexcept {}
    // True when a decoded picture is present.
    bool HasPicture() const noexcept;

    // True when there are at least 5 bytes and the first four are "GIF8".
    bool IsGIF() const noexcept;
    // -1 when not a GIF; otherwise the number of frame starts (cached until
    // the bytes are replaced).
    int32_t FrameCount();
    // Delay of frame start n (1-based) in hundredths of a second, or -1 when
    // there is no such frame start or the bytes are not a GIF. A found frame
    // start also sets FrameTransparent and FrameDisposal.
    int32_t FrameDelay(int32_t n);
    // 0 without a decoded picture; else the GIF's logical screen size when
    // one was read, else Width / Height.
    int32_t DisplayWidth() const noexcept;
    int32_t DisplayHeight() const noexcept;

    // 0 or less: the whole data; k >= 1: frame start k is handed to the
    // decoder as the first image (bytes before frame start 1, then from frame
    // start k to the end).
    int32_t Frame() const noexcept;
    // Stores the frame (no range check); when there are bytes, re-decodes and
    // raises OnFrameChange (decoding errors propagate, no event then).
    void SetFrame(int32_t frame);

    // Image descriptor of the selected frame; left/top are 0 unless a frame
    // k >= 1 was selected and found.
    uint16_t FrameLeft() const noexcept;
    uint16_t FrameTop() const noexcept;
    uint16_t FrameWidth() const noexcept;
    uint16_t FrameHeight() const noexcept;
    // Transparency flag and disposal method (0..7) of the frame start last
    // found by FrameDelay.
    bool FrameTransparent() const noexcept;
    uint16_t FrameDisposal() const noexcept;
    // The GIF's logical screen size; 0 when none was read.
    uint16_t ScreenWidth() const noexcept;
    uint16_t ScreenHeight() const noexcept;
    // The resolution of the surface the picture is shown on (96 x 96 until the
    // view's Loaded sets it); the pixel size does not depend on it.
    int32_t PixelsPerInchX() const noexcept;
    int32_t PixelsPerInchY() const noexcept;
    void SetPixelsPerInch(int32_t x, int32_t y) noexcept;
    // Persisted flag; nothing reads it.
    bool Stretch() const noexcept;
    void SetStretch(bool value) noexcept;

    // The kept bytes.
    const MemoryStream& Data() const noexcept;

    PictureNotify OnChange;
    PictureNotify OnFrameChange;
    PictureNotify OnClear;

private:
    struct State;
    std::unique_ptr<State> m;

    void TakeBytes(Stream& source);
    void DecodeData();
    bool IsFrameStart(int32_t p) const noexcept;
};

}  // namespace kestrix
