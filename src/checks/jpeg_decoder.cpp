#include "jpeg_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>

#include <jpeglib.h>

namespace kestrix {
namespace {

// Input is handed to libjpeg in pieces, so that a cancel is seen between them.
constexpr std::size_t kFeedSize = 16 * 1024;
// Rows decoded between two looks at the cancel flag.
constexpr JDIMENSION kRowsBetweenLooks = 16;
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

// Everything libjpeg's callbacks reach. It lives on the heap and is only ever
// reached through a pointer, so it keeps its values across the long jump back.
struct Session {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_source_mgr source{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    std::span<const uint8_t> bytes;
    std::size_t fed = 0;
    bool endAdded = false;
    const DecodeLimits* limits = nullptr;
    PictureFault fault = PictureFault::None;
    int64_t pixels = 0;
    int64_t work = 0;
    int chargedScans = 0;
};

Session& SessionOf(j_common_ptr info) noexcept
{
    return *static_cast<Session*>(info->client_data);
}

[[noreturn]] void Stop(Session& session, PictureFault fault) noexcept
{
    if (session.fault == PictureFault::None)
        session.fault = fault;
    std::longjmp(session.jump, 1);
}

void OnError(j_common_ptr info)
{
    Stop(SessionOf(info), PictureFault::DecoderFailed);
}

// libjpeg reports corrupt or missing data as warnings (level -1) and goes on
// with made-up pixels; a strict decode stops there.
void OnMessage(j_common_ptr info, int level)
{
    if (level < 0)
        Stop(SessionOf(info), PictureFault::DecoderFailed);
}

void Silence(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info)
{
    Session& session = SessionOf(reinterpret_cast<j_common_ptr>(info));
    if (session.limits->Cancelled())
        Stop(session, PictureFault::Cancelled);
    if (session.fed >= session.bytes.size()) {
        // Where only the end marker is missing the picture is whole; anywhere
        // else libjpeg meets this marker inside the data and warns.
        if (session.endAdded)
            Stop(session, PictureFault::CutShort);
        session.endAdded = true;
        info->src->next_input_byte = kEndOfImage;
        info->src->bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    const std::size_t count = std::min(kFeedSize, session.bytes.size() - session.fed);
    info->src->next_input_byte = session.bytes.data() + session.fed;
    info->src->bytes_in_buffer = count;
    session.fed += count;
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    auto skip = static_cast<std::size_t>(count);
    jpeg_source_mgr& source = *info->src;
    while (skip > source.bytes_in_buffer) {
        skip -= source.bytes_in_buffer;
        source.bytes_in_buffer = 0;
        FillInput(info);
    }
    source.next_input_byte += skip;
    source.bytes_in_buffer -= skip;
}

// Charges each scan as it starts: an eighth of the pixels of the components it
// carries, the cost of visiting their blocks once more.
void ChargeScans(Session& session)
{
    jpeg_decompress_struct& info = session.info;
    while (session.chargedScans < info.input_scan_number) {
        ++session.chargedScans;
        if (session.chargedScans > kMaxJpegScans)
            Stop(session, PictureFault::Damaged);
        const int components = std::max(1, info.num_components);
        session.work += session.pixels / 8 * std::clamp(info.comps_in_scan, 1, components) / components;
    }
    if (session.limits->MaxWork >= 0 && session.work > session.limits->MaxWork)
        Stop(session, PictureFault::TooCostly);
}

void OnProgress(j_common_ptr common)
{
    Session& session = SessionOf(common);
    if (session.limits->Cancelled())
        Stop(session, PictureFault::Cancelled);
    ChargeScans(session);
}

// Adobe's CMYK JPEGs store the inks inverted: full ink is 0.
void CmykRowToBgra(const JSAMPLE* cmyk, uint8_t* bgra, JDIMENSION width) noexcept
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgra += 4) {
        const unsigned k = cmyk[3];
        bgra[0] = static_cast<uint8_t>(cmyk[2] * k / 255);
        bgra[1] = static_cast<uint8_t>(cmyk[1] * k / 255);
        bgra[2] = static_cast<uint8_t>(cmyk[0] * k / 255);
        bgra[3] = 0xFF;
    }
}

void Prepare(Session& session)
{
    jpeg_decompress_struct& info = session.info;
    info.err = jpeg_std_error(&session.errors);
    session.errors.error_exit = OnError;
    session.errors.emit_message = OnMessage;
    session.errors.output_message = Silence;
    jpeg_create_decompress(&info);
    info.client_data = &session;
    session.source.init_source = InitSource;
    session.source.fill_input_buffer = FillInput;
    session.source.skip_input_data = SkipInput;
    session.source.resync_to_restart = jpeg_resync_to_restart;
    session.source.term_source = TermSource;
    info.src = &session.source;
    session.progress.progress_monitor = OnProgress;
    info.progress = &session.progress;
}

// The decode proper; leaves by a long jump on any fault.
void Run(Session& session, Raster* out, std::vector<uint8_t>& row)
{
    jpeg_decompress_struct& info = session.info;
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_calc_output_dimensions(&info);
    session.pixels = int64_t{info.output_width} * info.output_height;
    if (session.pixels > kMaxPicturePixels)
        Stop(session, PictureFault::TooLarge);
    session.work = session.pixels;
    ChargeScans(session);
    jpeg_start_decompress(&info);
    ChargeScans(session);
    const std::size_t rowBytes = std::size_t{info.output_width} * 4;
    if (out != nullptr) {
        out->Width = static_cast<int32_t>(info.output_width);
        out->Height = static_cast<int32_t>(info.output_height);
        out->Bgra.assign(rowBytes * info.output_height, 0);
    }
    row.resize(rowBytes);
    while (info.output_scanline < info.output_height) {
        if (info.output_scanline % kRowsBetweenLooks == 0 && session.limits->Cancelled())
            Stop(session, PictureFault::Cancelled);
        uint8_t* target = out != nullptr ? out->Bgra.data() + rowBytes * info.output_scanline : row.data();
        JSAMPROW rows[1] = {cmyk ? row.data() : target};
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            Stop(session, PictureFault::CutShort);
        if (cmyk && out != nullptr)
            CmykRowToBgra(row.data(), target, info.output_width);
    }
    jpeg_finish_decompress(&info);
}

}  // namespace

PictureFault DecodeJpeg(std::span<const uint8_t> bytes, const DecodeLimits& limits, Raster* out)
{
    if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF)
        return PictureFault::NotRecognised;
    const auto session = std::make_unique<Session>();
    session->bytes = bytes;
    session->limits = &limits;
    std::vector<uint8_t> row;
    Prepare(*session);
    if (setjmp(session->jump) == 0) {
        try {
            Run(*session, out, row);
        } catch (const std::bad_alloc&) {
            session->fault = PictureFault::TooLarge;
        }
    }
    jpeg_destroy_decompress(&session->info);
    if (session->fault != PictureFault::None && out != nullptr)
        *out = Raster{};
    return session->fault;
}

}  // namespace kestrix
