#include "png_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>

#include <png.h>

namespace kestrix {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Rows decoded between two looks at the cancel flag.
constexpr png_uint_32 kRowsBetweenLooks = 16;
// No ancillary chunk of a picture needs more; larger ones are refused unread.
constexpr png_alloc_size_t kLargestChunk = 8u << 20;

// Everything libpng's callbacks reach; only ever reached through a pointer, so
// it keeps its values across the long jump back.
struct Session {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    std::span<const uint8_t> Bytes;
    std::size_t Read = 0;
    const DecodeLimits* Limits = nullptr;
    PictureFault Fault = PictureFault::None;
};

[[noreturn]] void Stop(png_structp png, PictureFault fault)
{
    auto& session = *static_cast<Session*>(png_get_error_ptr(png));
    if (session.Fault == PictureFault::None)
        session.Fault = fault;
    png_longjmp(png, 1);
}

void OnError(png_structp png, png_const_charp)
{
    Stop(png, PictureFault::DecoderFailed);
}

void OnWarning(png_structp, png_const_charp) {}

void Read(png_structp png, png_bytep data, png_size_t count)
{
    auto& session = *static_cast<Session*>(png_get_io_ptr(png));
    if (session.Limits->Cancelled())
        Stop(png, PictureFault::Cancelled);
    if (count > session.Bytes.size() - session.Read)
        Stop(png, PictureFault::CutShort);
    std::memcpy(data, session.Bytes.data() + session.Read, count);
    session.Read += count;
}

void Run(Session& session, Raster* out, std::vector<uint8_t>& row)
{
    png_structp png = session.Png;
    png_infop info = session.Info;
    png_set_read_fn(png, &session, Read);
    png_set_chunk_malloc_max(png, kLargestChunk);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int64_t pixels = int64_t{width} * height;
    if (pixels > kMaxPicturePixels)
        Stop(png, PictureFault::TooLarge);
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    const int64_t work = interlaced ? 2 * pixels : pixels;
    if (session.Limits->MaxWork >= 0 && work > session.Limits->MaxWork)
        Stop(png, PictureFault::TooCostly);

    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t rowBytes = std::size_t{width} * 4;
    if (png_get_rowbytes(png, info) != rowBytes)
        Stop(png, PictureFault::DecoderFailed);
    if (out != nullptr) {
        out->Width = static_cast<int32_t>(width);
        out->Height = static_cast<int32_t>(height);
        out->Bgra.assign(rowBytes * height, 0);
    }
    row.resize(rowBytes);
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            if (y % kRowsBetweenLooks == 0 && session.Limits->Cancelled())
                Stop(png, PictureFault::Cancelled);
            png_read_row(png, out != nullptr ? out->Bgra.data() + rowBytes * y : row.data(), nullptr);
        }
    }
    png_read_end(png, nullptr);
}

}  // namespace

PictureFault DecodePng(std::span<const uint8_t> bytes, const DecodeLimits& limits, Raster* out)
{
    if (bytes.size() < sizeof kSignature || std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0)
        return PictureFault::NotRecognised;
    const auto session = std::make_unique<Session>();
    session->Bytes = bytes;
    session->Limits = &limits;
    session->Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, session.get(), OnError, OnWarning);
    if (session->Png == nullptr)
        return PictureFault::DecoderFailed;
    session->Info = png_create_info_struct(session->Png);
    std::vector<uint8_t> row;
    if (session->Info == nullptr) {
        session->Fault = PictureFault::DecoderFailed;
    } else if (setjmp(png_jmpbuf(session->Png)) == 0) {
        try {
            Run(*session, out, row);
        } catch (const std::bad_alloc&) {
            session->Fault = PictureFault::TooLarge;
        }
    }
    png_destroy_read_struct(&session->Png, &session->Info, nullptr);
    if (session->Fault != PictureFault::None && out != nullptr)
        *out = Raster{};
    return session->Fault;
}

}  // namespace kestrix
