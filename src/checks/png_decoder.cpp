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
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::span<const uint8_t> bytes;
    std::size_t read = 0;
    const DecodeLimits* limits = nullptr;
    PictureFault fault = PictureFault::None;
};

[[noreturn]] void Stop(png_structp png, PictureFault fault)
{
    auto& session = *static_cast<Session*>(png_get_error_ptr(png));
    if (session.fault == PictureFault::None)
        session.fault = fault;
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
    if (session.limits->Cancelled())
        Stop(png, PictureFault::Cancelled);
    if (count > session.bytes.size() - session.read)
        Stop(png, PictureFault::CutShort);
    std::memcpy(data, session.bytes.data() + session.read, count);
    session.read += count;
}

void Run(Session& session, Raster* out, std::vector<uint8_t>& row)
{
    png_structp png = session.png;
    png_infop info = session.info;
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
    if (session.limits->MaxWork >= 0 && work > session.limits->MaxWork)
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
            if (y % kRowsBetweenLooks == 0 && session.limits->Cancelled())
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
    session->bytes = bytes;
    session->limits = &limits;
    session->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, session.get(), OnError, OnWarning);
    if (session->png == nullptr)
        return PictureFault::DecoderFailed;
    session->info = png_create_info_struct(session->png);
    std::vector<uint8_t> row;
    if (session->info == nullptr) {
        session->fault = PictureFault::DecoderFailed;
    } else if (setjmp(png_jmpbuf(session->png)) == 0) {
        try {
            Run(*session, out, row);
        } catch (const std::bad_alloc&) {
            session->fault = PictureFault::TooLarge;
        }
    }
    png_destroy_read_struct(&session->png, &session->info, nullptr);
    if (session->fault != PictureFault::None && out != nullptr)
        *out = Raster{};
    return session->fault;
}

}  // namespace kestrix
