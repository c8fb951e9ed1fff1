#include "cli_extraction.h"

#include "content_list.h"
#include "terminal_text.h"

#include <algorithm>
#include <filesystem>
#include <optional>

namespace kestrix {
namespace {

// The files of one folder of an extraction.
struct ExtractionGroup {
    std::string Subfolder;  // empty: the extraction's folder itself
    std::vector<ExtractItem> Plan;
    bool Sounds = false;  // content's sounds, which --wav also writes as WAV
};

// Save hooks that list each file written in report and tell each failure on
// err, going on with the next file; files are named subfolder/name (name
// alone while subfolder is empty), subfolder read at each call (it must live
// as long as the hooks).
SaveHooks ReportingHooks(ExtractReport& report, std::ostream& err, const std::string& subfolder)
{
    const auto shown = [&subfolder](const ExtractItem& item) {
        return subfolder.empty() ? item.FileName : subfolder + "/" + item.FileName;
    };
    SaveHooks hooks;
    hooks.Written = [&report, shown](const ExtractItem& item, std::size_t) {
        report.Written.emplace_back(item.Row, shown(item));
    };
    hooks.Failed = [&report, &err, shown](const ExtractItem& item, const std::exception& failure) {
        std::string message = failure.what();
        std::replace(message.begin(), message.end(), '\r', ' ');
        err << "kestrix-cli: row " << item.Row << " (" << TerminalText(shown(item)) << "): " << TerminalText(message)
            << '\n';
        report.Failed.emplace_back(item.Row, message);
        return AfterFailure::GoOn;
    };
    return hooks;
}

// Creates path and the folders above it; the reason, also told on err, when
// it cannot.
std::optional<std::string> CreateFolder(const std::string& path, std::ostream& err)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error)
        return std::nullopt;
    err << "kestrix-cli: cannot create the folder " << TerminalText(path) << ": " << error.message() << '\n';
    return "cannot create the folder " + path + ": " + error.message();
}

// The one extraction of every command: each group's files into its folder
// under folder, in order; sounds also as WAV files when wavFrom is given.
ExtractReport ExtractGroups(THexBuffer& buffer, const std::string& folder, const std::vector<ExtractionGroup>& groups,
                            const ItemRangeFunction& rangeOf, const KeptFiles& images,
                            const std::vector<FoundItem>* items, const SoundPlugin* wavFrom, std::ostream& err)
{
    ExtractReport report;
    std::string kindFolder;
    const SaveHooks hooks = ReportingHooks(report, err, kindFolder);
    const std::optional<std::string> folderFailure = CreateFolder(folder, err);
    report.FolderFailed = folderFailure.has_value();
    for (const ExtractionGroup& group : groups) {
        kindFolder = group.Subfolder;
        const std::string path = group.Subfolder.empty() ? folder : folder + "/" + group.Subfolder;
        const std::optional<std::string> why =
            folderFailure || group.Subfolder.empty() ? folderFailure : CreateFolder(path, err);
        if (why) {
            report.FolderFailed = true;
            for (const ExtractItem& item : group.Plan)
                report.Failed.emplace_back(item.Row, *why);
            continue;
        }
        SaveToFolder(buffer, path, group.Plan, rangeOf, hooks, images);
        if (group.Sounds && wavFrom != nullptr && items != nullptr) {
            int64_t wavLeft = WavBudgetOf(buffer.Bytes().size());
            const WavStreamer toWav = BoundedWavStreamer(*wavFrom, wavLeft);
            const auto skipped = [&report](const ExtractItem& item, const std::string& why) {
                report.NoWav.emplace_back(item.Row, why);
            };
            StreamSoundsAsWav(buffer, *items, PlanWavFiles(group.Plan), path, toWav, hooks, skipped, images);
        }
    }
    return report;
}

}  // namespace

WavStreamer BoundedWavStreamer(const SoundPlugin& plugin, int64_t& left)
{
    return [&plugin, &left](ItemType type, std::span<const uint8_t> sound, Stream& out, std::string& why) {
        return plugin.ToWav(type, sound.data(), sound.size(), &out, &left, nullptr, &why);
    };
}

ExtractReport ExtractList(THexBuffer& buffer, const FoundRows& rows, ListKind list, const std::string& folder,
                          const KeptFiles& kept, std::ostream& err)
{
    const auto rangeOf = [&rows](const ExtractItem& item) {
        const FoundRow& row = rows[static_cast<std::size_t>(item.Row)];
        return ItemRange{row.Start, row.End};
    };
    return ExtractGroups(buffer, folder, {{std::string(), PlanExtraction(list, rows), false}}, rangeOf, kept, nullptr,
                         nullptr, err);
}

ExtractReport ExtractContent(THexBuffer& buffer, const std::vector<FoundItem>& items,
                             const std::vector<std::string>& captions, const std::string& folder, const KeptFiles& kept,
                             const SoundPlugin* wavFrom, std::ostream& err)
{
    const auto rangeOf = [&items](const ExtractItem& item) {
        const FoundItem& found = items[static_cast<std::size_t>(item.Row)];
        return ItemRange{found.Start, found.End};
    };
    std::vector<ExtractionGroup> groups;
    for (const ContentKind kind :
         {ContentKind::Picture, ContentKind::Sound, ContentKind::Application, ContentKind::File}) {
        std::vector<ExtractItem> plan = PlanContentExtraction(items, captions, kind);
        if (!plan.empty())
            groups.push_back({std::string(ContentKindFolder(kind)), std::move(plan), kind == ContentKind::Sound});
    }
    return ExtractGroups(buffer, folder, groups, rangeOf, kept, &items, wavFrom, err);
}

}  // namespace kestrix
