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
    jpeg_decompress_struct Info{};
    jpeg_error_mgr Errors{};
    jpeg_source_mgr Source{};
    jpeg_progress_mgr Progress{};
    std::jmp_buf Jump{};
    std::span<const uint8_t> Bytes;
    std::size_t Fed = 0;
    bool EndAdded = false;
    const DecodeLimits* Limits = nullptr;
    PictureFault Fault = PictureFault::None;
    int64_t Pixels = 0;
    int64_t Work = 0;
    int ChargedScans = 0;
};

Session& SessionOf(j_common_ptr info) noexcept
{
    return *static_cast<Session*>(info->client_data);
}

[[noreturn]] void Stop(Session& session, PictureFault fault) noexcept
{
    if (session.Fault == PictureFault::None)
        session.Fault = fault;
    std::longjmp(session.Jump, 1);
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
    if (session.Limits->Cancelled())
        Stop(session, PictureFault::Cancelled);
    if (session.Fed >= session.Bytes.size()) {
        // Where only the end marker is missing the picture is whole; anywhere
        // else libjpeg meets this marker inside the data and warns.
        if (session.EndAdded)
            Stop(session, PictureFault::CutShort);
        session.EndAdded = true;
        info->src->next_input_byte = kEndOfImage;
        info->src->bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    const std::size_t count = std::min(kFeedSize, session.Bytes.size() - session.Fed);
    info->src->next_input_byte = session.Bytes.data() + session.Fed;
    info->src->bytes_in_buffer = count;
    session.Fed += count;
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
    jpeg_decompress_struct& info = session.Info;
    while (session.ChargedScans < info.input_scan_number) {
        ++session.ChargedScans;
        if (session.ChargedScans > kMaxJpegScans)
            Stop(session, PictureFault::Damaged);
        const int components = std::max(1, info.num_components);
        session.Work += session.Pixels / 8 * std::clamp(info.comps_in_scan, 1, components) / components;
    }
    if (session.Limits->MaxWork >= 0 && session.Work > session.Limits->MaxWork)
        Stop(session, PictureFault::TooCostly);
}

void OnProgress(j_common_ptr common)
{
    Session& session = SessionOf(common);
    if (session.Limits->Cancelled())
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
    jpeg_decompress_struct& info = session.Info;
    info.err = jpeg_std_error(&session.Errors);
    session.Errors.error_exit = OnError;
    session.Errors.emit_message = OnMessage;
    session.Errors.output_message = Silence;
    jpeg_create_decompress(&info);
    info.client_data = &session;
    session.Source.init_source = InitSource;
    session.Source.fill_input_buffer = FillInput;
    session.Source.skip_input_data = SkipInput;
    session.Source.resync_to_restart = jpeg_resync_to_restart;
    session.Source.term_source = TermSource;
    info.src = &session.Source;
    session.Progress.progress_monitor = OnProgress;
    info.progress = &session.Progress;
}

// The decode proper; leaves by a long jump on any fault.
void Run(Session& session, Raster* out, std::vector<uint8_t>& row)
{
    jpeg_decompress_struct& info = session.Info;
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_calc_output_dimensions(&info);
    session.Pixels = int64_t{info.output_width} * info.output_height;
    if (session.Pixels > kMaxPicturePixels)
        Stop(session, PictureFault::TooLarge);
    session.Work = session.Pixels;
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
        if (info.output_scanline % kRowsBetweenLooks == 0 && session.Limits->Cancelled())
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
    session->Bytes = bytes;
    session->Limits = &limits;
    std::vector<uint8_t> row;
    Prepare(*session);
    if (setjmp(session->Jump) == 0) {
        try {
            Run(*session, out, row);
        } catch (const std::bad_alloc&) {
            session->Fault = PictureFault::TooLarge;
        }
    }
    jpeg_destroy_decompress(&session->Info);
    if (session->Fault != PictureFault::None && out != nullptr)
        *out = Raster{};
    return session->Fault;
}

}  // namespace kestrix
