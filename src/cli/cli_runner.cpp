#include "cli_runner.h"

#include "batch_runner.h"
#include "cli_arguments.h"
#include "cli_extraction.h"
#include "cli_output.h"
#include "cli_request.h"
#include "code_page.h"
#include "content_list.h"
#include "content_search.h"
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "json_writer.h"
#include "kestrix_version.h"
#include "list_kind.h"
#include "map_command.h"
#include "picture_check.h"
#include "picture_list.h"
#include "report_writer.h"
#include "row_digests.h"
#include "sound_loader.h"
#include "terminal_text.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace kestrix {
namespace {

}  // namespace

std::string LoadFailureText(const std::string& path, const LoadFailure& failure, const std::exception& error)
{
    std::string cause;
    switch (failure.Cause) {
    case LoadCause::CannotOpen: cause = SystemErrorText(failure.Error); break;
    case LoadCause::NotAFile:
        if (failure.Error == EISDIR)
            cause = "it is a folder";
        else if (failure.Error == ESPIPE)
            cause = "it is a FIFO, pipe or socket, whose size is not known before it is read; only files and "
                    "block devices can be read";
        else if (failure.Error == ENOTSUP)
            cause = "it is a device other than a block device; only files and block devices can be read";
        else
            cause =
                "its size is not known, as the system cannot seek to its end (" + SystemErrorText(failure.Error) + ")";
        break;
    case LoadCause::TooLarge:
        cause = "it has " + std::to_string(failure.Size) +
                " bytes; images of 2 GiB (2147483648 bytes) or more cannot be read";
        break;
    case LoadCause::ShortRead:
        cause = failure.Error != 0
                    ? "reading it failed: " + SystemErrorText(failure.Error)
                    : "it gave fewer bytes than its size of " + std::to_string(failure.Size) +
                          " bytes: it shrank while it was read, or it is a system file whose size is not its length";
        break;
    case LoadCause::OutOfMemory:
        cause = "there is not enough memory for its " + std::to_string(failure.Size) + " bytes";
        break;
    case LoadCause::None:
    case LoadCause::Cancelled: {
        cause = error.what();
        std::replace(cause.begin(), cause.end(), '\r', ' ');
        std::replace(cause.begin(), cause.end(), '\n', ' ');
        break;
    }
    }
    return "cannot read " + path + ": " + cause;
}

namespace {

// Whether the request lists sounds, which the sound decoders check: the
// report always does.
bool WantsSounds(const CliRequest& request)
{
    if (request.Report)
        return true;
    return request.Content && (request.Kinds.empty() || std::find(request.Kinds.begin(), request.Kinds.end(),
                                                                  ContentKind::Sound) != request.Kinds.end());
}

// Loads the sound decoders and sets check to their verdicts; null, with a
// message on err, when they cannot be loaded.
const SoundPlugin* SoundChecks(SoundDecodeCheck& check, std::ostream& err)
{
    std::string why;
    const SoundPlugin* plugin = LoadSoundPlugin(why);
    if (plugin != nullptr)
        check = [plugin](ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel) {
            return plugin->Check(type, bytes.data(), bytes.size(), &cancel);
        };
    else
        err << "kestrix-cli: sounds are not decoded (" << TerminalText(why) << "); their status is the walk's\n";
    return plugin;
}

// The sound decoders' verdicts, the decoders loaded when the first sound is
// checked: a search can start before they are. A sound is left as its walk
// judged it when they cannot be loaded, as without a check.
SoundDecodeCheck LazySoundCheck()
{
    return [](ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel) {
        std::string why;
        const SoundPlugin* plugin = LoadSoundPlugin(why);
        return plugin != nullptr ? plugin->Check(type, bytes.data(), bytes.size(), &cancel) : ItemStatus::Complete;
    };
}

// What the search beside the load found, and what it worked out beside the
// checks once it had listed its items.
struct SearchResult {
    std::optional<ContentFound> Found;
    // The digests of all items' bytes, when started (StartDigests).
    std::shared_ptr<RowDigests> Digests;
    // The captions of all items (ContentCaptions), when the search made them.
    std::optional<std::vector<std::string>> Captions;
};

// The content search of an image run beside its load, on a thread of its own.
class SearchBesideLoad {
public:
    // Starts the search of what buffer's next load brings in, of kinds, making
    // the items' captions once they are listed when captions; without a thread
    // to run it on, Take gives nothing and the caller searches after the load.
    SearchBesideLoad(THexBuffer& buffer, bool sounds, bool captions, ContentKinds kinds = ContentKinds::All())
        : m_buffer(buffer)
    {
        m_hooks.DecodeCheck = CheckPicture;
        m_hooks.ItemsListed = [this, captions](const ContentFound& found) {
            std::vector<RowDigests::Range> ranges;
            ranges.reserve(found.Items.size());
            for (const FoundItem& item : found.Items)
                ranges.emplace_back(item.Start, item.End);
            {
                const std::lock_guard lock(m_mutex);
                m_ranges = std::move(ranges);
            }
            m_listed.notify_all();
            // Made while the checks finish, on a thread that would only wait for them.
            if (captions)
                m_result.Captions = ContentCaptions(found.Items);
        };
        if (sounds)
            m_soundCheck = LazySoundCheck();
        m_buffer.SetLoadWatermark(&m_arriving);
        try {
            m_thread = std::thread([this, kinds] {
                m_result.Found = FindAllContentWhileLoading(m_arriving, m_hooks, m_soundCheck, kinds);
                {
                    const std::lock_guard lock(m_mutex);
                    m_ended = true;
                }
                m_listed.notify_all();
            });
        } catch (const std::system_error&) {
            m_buffer.SetLoadWatermark(nullptr);
            m_ended = true;
        }
    }
    ~SearchBesideLoad()
    {
        // A load that never began (the file could not be opened) stops the search.
        m_arriving.Fail();
        Join();
    }
    SearchBesideLoad(const SearchBesideLoad&) = delete;
    SearchBesideLoad& operator=(const SearchBesideLoad&) = delete;

    // After a load that succeeded: waits until the search has listed its items
    // and starts the digests of their bytes in the loaded image, worked out
    // while the search's checks finish; none when the search ended without a
    // list.
    void StartDigests()
    {
        std::unique_lock lock(m_mutex);
        m_listed.wait(lock, [this] { return m_ranges || m_ended; });
        if (!m_ranges)
            return;
        const auto ranges = std::make_shared<std::vector<RowDigests::Range>>(std::move(*m_ranges));
        m_ranges.reset();
        m_result.Digests = std::make_shared<RowDigests>(m_buffer.Bytes(), ranges->size(),
                                                        [ranges](std::size_t i) { return (*ranges)[i]; });
    }

    // What the search found, once the load succeeded.
    SearchResult Take()
    {
        Join();
        return std::move(m_result);
    }

private:
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
        m_buffer.SetLoadWatermark(nullptr);
    }

    THexBuffer& m_buffer;
    ScanHooks m_hooks;
    SoundDecodeCheck m_soundCheck;
    LoadWatermark m_arriving;
    SearchResult m_result;
    // The ranges of the items listed, until StartDigests takes them; whether
    // the search has ended.
    std::mutex m_mutex;
    std::condition_variable m_listed;
    std::optional<std::vector<RowDigests::Range>> m_ranges;
    bool m_ended = false;
    std::thread m_thread;
};

// The digests count rows get: none without JSON; those started beside the
// search when they are of as many rows (of all its items, in order); else the
// ones make starts.
std::shared_ptr<RowDigests> DigestsOfRows(bool json, std::shared_ptr<RowDigests> started, std::size_t count,
                                          const std::function<std::shared_ptr<RowDigests>()>& make)
{
    if (!json)
        return nullptr;
    return started && started->Count() == count ? started : make();
}

// "report": finds all content, checked, and writes its report into the
// task's folder; one line on out (or a JSON object) tells what was written.
CliStatus ExecuteReport(const CliRequest& request, const ImageTask& task, THexBuffer& buffer, std::ostream& out,
                        std::ostream& err)
{
    ScanHooks hooks;
    hooks.DecodeCheck = CheckPicture;
    SoundDecodeCheck soundCheck;
    const SoundPlugin* plugin = SoundChecks(soundCheck, err);
    const std::optional<ContentFound> found = FindAllContent(buffer.Bytes(), hooks, soundCheck);
    const std::vector<std::string> captions = ContentCaptions(found->Items);
    ReportOptions options;
    options.ImageName = ShownText(std::filesystem::path(task.ImagePath).filename().string());
    options.Kept = request.Kept;
    int64_t wavLeft = WavBudgetOf(buffer.Bytes().size());
    if (plugin != nullptr)
        options.ToWav = BoundedWavStreamer(*plugin, wavLeft);
    options.Program = "kestrix-cli";
    options.Version = kVersion;
    const ReportOutcome outcome = WriteReport(buffer, *found, found->Items, captions, *task.ExtractFolder, options);
    for (const auto& [file, why] : outcome.Failed)
        err << "kestrix-cli: " << TerminalText(file) << ": " << TerminalText(why) << '\n';
    const std::string page = *task.ExtractFolder + "/index.html";
    if (request.Json) {
        JsonWriter json;
        json.BeginObject().Key("image").String(task.ShownPath).Key("size").Number(buffer.DataSize());
        json.Key("report").String(ShownText(page)).Key("items").Number(static_cast<int64_t>(outcome.Items.size()));
        json.Key("written").Number(static_cast<int64_t>(outcome.Written.size()));
        json.Key("failed").BeginArray();
        for (const auto& [file, why] : outcome.Failed)
            json.BeginObject().Key("file").String(ShownText(file)).Key("error").String(ShownText(why)).EndObject();
        json.EndArray().Key("no_wav").Number(static_cast<int64_t>(outcome.NoWav.size())).EndObject();
        out << json.Text() << '\n';
    } else {
        // The same counts, in the same words, as the summary of an extraction.
        out << "items: " << outcome.Items.size() << ", written: " << outcome.Written.size()
            << ", failed: " << outcome.Failed.size() << ", sounds without WAV: " << outcome.NoWav.size() << '\n'
            << TerminalText(page) << '\n';
    }
    return outcome.Failing() ? CliStatus::Failed : CliStatus::Ok;
}

// searched: what the search beside the load found, or no items to search now.
CliStatus ExecuteContent(const CliRequest& request, const ImageTask& task, THexBuffer& buffer, SearchResult searched,
                         std::ostream& out, std::ostream& err)
{
    std::optional<ContentFound>& found = searched.Found;
    std::shared_ptr<RowDigests>& digests = searched.Digests;
    ScanHooks hooks;
    hooks.DecodeCheck = CheckPicture;
    SoundDecodeCheck soundCheck;
    // The sound decoders are loaded only when sounds are asked for.
    const SoundPlugin* plugin = WantsSounds(request) ? SoundChecks(soundCheck, err) : nullptr;
    if (!found)
        found = FindAllContent(buffer.Bytes(), hooks, soundCheck);
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < found->Items.size(); ++i) {
        const ContentKind kind = KindOf(found->Items[i].Type);
        if (request.Kinds.empty() || std::find(request.Kinds.begin(), request.Kinds.end(), kind) != request.Kinds.end())
            rows.push_back(i);
    }
    // The rows' digests are worked out from here on, if not already, while
    // the captions are made and the items saved.
    digests = DigestsOfRows(request.Json, std::move(digests), rows.size(),
                            [&] { return ItemDigestsOf(buffer.Bytes(), found->Items, rows); });
    std::vector<std::string> captions;
    const Listing listing = ContentRows(*found, captions, rows, request.Wav, buffer.Bytes(), digests);
    // Captions are numbered over all kinds, so that a kind's names do not
    // depend on which other kinds were asked for.
    captions = searched.Captions && searched.Captions->size() == found->Items.size() ? std::move(*searched.Captions)
                                                                                     : ContentCaptions(found->Items);
    std::optional<ExtractReport> report;
    if (task.ExtractFolder) {
        std::vector<FoundItem> items;
        std::vector<std::string> listed;
        for (const std::size_t i : rows) {
            items.push_back(found->Items[i]);
            listed.push_back(captions[i]);
        }
        report = ExtractContent(buffer, items, listed, *task.ExtractFolder, request.Kept,
                                request.Wav ? plugin : nullptr, err);
    }
    PrintListing(out, request.Json, task, buffer.DataSize(), listing, report);
    return report && report->Failing() ? CliStatus::Failed : CliStatus::Ok;
}

CliStatus Execute(const CliRequest& request, const ImageTask& task, std::ostream& out, std::ostream& err)
{
    THexBuffer buffer;
    buffer.ResetToEmpty("Untitled");
    // The content search, and the picture search that is that search
    // restricted to pictures, read the image while it loads.
    const bool pictures = request.List == ListKind::Pictures && !request.Content && !request.Report;
    std::optional<SearchBesideLoad> search;
    if (request.Content)
        search.emplace(buffer, WantsSounds(request), true);
    else if (pictures)
        search.emplace(buffer, false, false, ContentKinds::Only(ContentKind::Picture));
    try {
        buffer.LoadFromFile(task.ImagePath);
    } catch (const std::exception& e) {
        search.reset();
        const std::string message = LoadFailureText(task.ImagePath, buffer.LastLoadFailure(), e);
        err << "kestrix-cli: " << TerminalText(message) << '\n';
        if (task.ErrorObject && request.Json) {
            JsonWriter json;
            json.BeginObject().Key("image").String(task.ShownPath).Key("error").String(ShownText(message)).EndObject();
            out << json.Text() << '\n';
        }
        return CliStatus::Failed;
    }
    // The digests of the items start as soon as they are listed, while the
    // search's checks finish.
    if (search && request.Json)
        search->StartDigests();
    if (request.Content)
        return ExecuteContent(request, task, buffer, search->Take(), out, err);
    if (request.Report)
        return ExecuteReport(request, task, buffer, out, err);
    if (!request.List) {
        PrintInfo(out, request.Json, task, buffer);
        return CliStatus::Ok;
    }

    const ListTraits& list = TraitsOf(*request.List);
    FoundRows rows;
    ScanHooks hooks;
    hooks.DecodeCheck = CheckPicture;
    SearchResult searched = pictures ? search->Take() : SearchResult{};
    std::shared_ptr<RowDigests>& digests = searched.Digests;
    if (searched.Found) {
        // What ScanAllPictures lists.
        for (const FoundItem& picture : searched.Found->Items)
            AppendPicture(rows, picture);
    } else if (!list.Scan(buffer, hooks, rows))
        err << "kestrix-cli: the image has " << buffer.DataSize()
            << " bytes; images of 1000 bytes or less are not scanned\n";
    const RowTextFunction rowText = [&rows, &list](std::size_t i) { return list.Text(rows, i); };
    digests = DigestsOfRows(request.Json, std::move(digests), rows.Count(),
                            [&] { return RowDigestsOf(buffer.Bytes(), rows); });
    const Listing listing = ListRows(list.Kind, rows, rowText, buffer.Bytes(), digests);

    std::optional<ExtractReport> report;
    if (task.ExtractFolder)
        report = ExtractList(buffer, rows, list.Kind, *task.ExtractFolder, request.Kept, err);
    PrintListing(out, request.Json, task, buffer.DataSize(), listing, report);
    return report && report->Failing() ? CliStatus::Failed : CliStatus::Ok;
}

// Runs the request over its images: one image as a single run, several side by
// side (at most request.jobs at once) with their output in the order given.
CliStatus ExecuteAll(CliRequest& request, std::ostream& out, std::ostream& err)
{
    if (request.ExtractFolder || request.ReportFolder)
        for (const std::string& image : request.Images)
            request.Kept.Add(image);
    // The sound decoders' module opens beside the reading of the first image,
    // on a core that would wait for it otherwise; without a thread it opens
    // when first asked for.
    std::thread opening;
    if (WantsSounds(request)) {
        try {
            opening = std::thread([] {
                std::string why;
                LoadSoundPlugin(why);
            });
        } catch (const std::system_error&) {
        }
    }
    const struct Joiner {
        std::thread& Thread;
        ~Joiner()
        {
            if (Thread.joinable())
                Thread.join();
        }
    } joiner{opening};
    const bool several = request.Images.size() > 1;
    const std::vector<std::string> folders = several ? ImageFolderNames(request.Images) : std::vector<std::string>{};
    auto run = [&](std::size_t index, const std::string& image, std::ostream& imageOut, std::ostream& imageErr) {
        ImageTask task{image, ShownText(image), request.Report ? request.ReportFolder : request.ExtractFolder, several};
        if (several && task.ExtractFolder)
            *task.ExtractFolder += "/" + folders[index];
        if (several && !request.Json)
            imageOut << "==> " << TerminalText(image) << " <==\n";
        return static_cast<int>(Execute(request, task, imageOut, imageErr));
    };
    return static_cast<CliStatus>(RunImagesInOrder(request.Images, request.Jobs, run, out, err));
}

}  // namespace

CliStatus RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    CliRequest request;
    request.Jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    bool help = false;
    bool version = false;
    const std::string usage = ParseArguments(arguments, request, help, version);
    if (!usage.empty()) {
        err << "kestrix-cli: " << usage << "\nTry 'kestrix-cli --help'.\n";
        return CliStatus::Usage;
    }
    CliStatus status = CliStatus::Ok;
    if (help)
        out << CliHelp();
    else if (version)
        out << "kestrix-cli " << kVersion << '\n';
    else if (request.Map)
        status = RunMapCommand(request, out, err);
    else
        status = ExecuteAll(request, out, err);
    out.flush();
    if (!out) {
        err << "kestrix-cli: the output could not be written\n";
        return CliStatus::Failed;
    }
    return status;
}

}  // namespace kestrix
