#include "report_writer.h"

#include "code_page.h"
#include "firmware_info.h"
#include "flash_map.h"
#include "report_pages.h"

#include <filesystem>
#include <future>
#include <system_error>

namespace kestrix {
namespace {

// How many cells the page's map has at most (128 per row).
constexpr int64_t kMapCells = 128 * 96;

// Thrown from a save's hooks to end the report after the file just written.
struct ReportCancelled {};

bool Cancelled(const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

std::string Clean(std::string_view cp1251)
{
    return Cp1251ToCleanUtf8(cp1251, ControlShown::HexEscape);
}

// The icon's file name: the row's number and the extension of the path the
// manifest names, when it is a short one of letters and digits.
std::string IconFileName(std::size_t row, const std::string& iconPath)
{
    std::string extension = ".png";
    const std::size_t dot = iconPath.rfind('.');
    if (dot != std::string::npos && dot + 1 < iconPath.size() && iconPath.size() - dot <= 5 &&
        iconPath.find('/', dot) == std::string::npos) {
        std::string word = iconPath.substr(dot);
        bool plain = true;
        for (std::size_t i = 1; i < word.size(); ++i) {
            const char c = word[i];
            plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
            if (c >= 'A' && c <= 'Z')
                word[i] = static_cast<char>(c - 'A' + 'a');
        }
        if (plain)
            extension = word;
    }
    return std::to_string(row + 1) + extension;
}

// The digests of the image (none when cancelled) and of each item.
struct Digested {
    std::optional<ReportImage> Image;
    std::vector<std::string> Items;
};

// Starts reading the digests from memory beside the writing, with which they
// share no state; where no thread can be started, they are read when asked for.
std::future<Digested> StartDigests(const TCustomHexBuffer& buffer, const std::vector<FoundItem>& items,
                                   const ReportOptions& options)
{
    const auto digest = [&buffer, &items, &options] {
        Digested digested{DescribeImage(buffer, options.ImageName, options.Cancel), {}};
        if (digested.Image)
            digested.Items = ItemDigests(buffer.Bytes(), items);
        return digested;
    };
    try {
        return std::async(std::launch::async, digest);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, digest);
    }
}

// Writes the applications' icons into folder/icons (made for the first), each
// named in its item's row; a failure is noted and the others go on.
void WriteIcons(TCustomHexBuffer& buffer, const ContentFound& found, const std::vector<FoundItem>& items,
                const std::string& folder, const ReportOptions& options, ReportOutcome& outcome)
{
    bool icons = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FoundItem& item = items[i];
        if (item.Midlet < 0 || found.Midlets[static_cast<std::size_t>(item.Midlet)].Icon.empty())
            continue;
        const MidletInfo& midlet = found.Midlets[static_cast<std::size_t>(item.Midlet)];
        const std::string name = "icons/" + IconFileName(i, midlet.IconPath);
        try {
            if (!icons)
                std::filesystem::create_directories(folder + "/icons");
            icons = true;
            WriteBytesToFileAtomically(buffer, folder + "/" + name, midlet.Icon, &options.Kept);
            outcome.Items[i].Icon = name;
            outcome.Written.push_back(name);
        } catch (const std::exception& failure) {
            outcome.Failed.emplace_back(name, failure.what());
        }
        if (Cancelled(options.Cancel))
            throw ReportCancelled{};
    }
}

// Writes the page, the CSV and the DFXML into folder; a failure is noted and
// the others go on.
void WriteTables(TCustomHexBuffer& buffer, const ReportImage& image, const FlashMap& map, const std::string& folder,
                 const ReportOptions& options, ReportOutcome& outcome)
{
    const auto writeText = [&](const std::string& name, const std::string& text) {
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        try {
            WriteBytesToFileAtomically(buffer, folder + "/" + name, bytes, &options.Kept);
            outcome.Written.push_back(name);
        } catch (const std::exception& failure) {
            outcome.Failed.emplace_back(name, failure.what());
        }
    };
    writeText("index.html", ReportHtml(image, map, outcome.Items));
    writeText("items.csv", ReportCsv(outcome.Items));
    writeText("report.xml", ReportDfxml(image, outcome.Items, options.Program, options.Version));
}

// Writes the whole report into folder, filling outcome as it goes.
void WriteAll(TCustomHexBuffer& buffer, const ContentFound& found, const std::vector<FoundItem>& items,
              const std::vector<std::string>& captions, const std::string& folder, const ReportOptions& options,
              ReportOutcome& outcome)
{
    const auto progress = [&options](int percent) {
        if (options.Progress)
            options.Progress(percent);
    };
    std::future<Digested> digesting = StartDigests(buffer, items, options);
    outcome.Items = ReportItemsOf(buffer.Bytes(), found, items, captions, false);
    progress(5);

    std::filesystem::create_directories(folder);
    std::string subfolder;
    std::size_t done = 0;
    const auto total = static_cast<double>(std::max<std::size_t>(1, items.size()));
    const auto shown = [&subfolder](const ExtractItem& item) { return subfolder + "/" + item.FileName; };
    SaveHooks hooks;
    std::string* field = nullptr;
    hooks.Written = [&](const ExtractItem& item, std::size_t) {
        *field = shown(item);
        outcome.Written.push_back(*field);
        progress(5 + static_cast<int>(85.0 * static_cast<double>(++done) / total));
        if (Cancelled(options.Cancel))
            throw ReportCancelled{};
    };
    hooks.Failed = [&](const ExtractItem& item, const std::exception& failure) {
        outcome.Failed.emplace_back(shown(item), failure.what());
        if (Cancelled(options.Cancel))
            throw ReportCancelled{};
        return AfterFailure::GoOn;
    };
    for (const ContentKind kind :
         {ContentKind::Picture, ContentKind::Sound, ContentKind::Application, ContentKind::File}) {
        const std::vector<ExtractItem> plan = PlanContentExtraction(items, captions, kind);
        if (plan.empty())
            continue;
        subfolder = std::string(ContentKindFolder(kind));
        const std::string path = folder + "/" + subfolder;
        std::filesystem::create_directories(path);
        // Each hook call names its item's row: the file goes into that row's field.
        SaveHooks itemHooks = hooks;
        itemHooks.Written = [&](const ExtractItem& item, std::size_t written) {
            field = &outcome.Items[static_cast<std::size_t>(item.Row)].File;
            hooks.Written(item, written);
        };
        const auto rangeOf = [&items](const ExtractItem& item) {
            const FoundItem& found = items[static_cast<std::size_t>(item.Row)];
            return ItemRange{found.Start, found.End};
        };
        SaveToFolder(buffer, path, plan, rangeOf, itemHooks, options.Kept);
        if (kind == ContentKind::Sound && options.ToWav) {
            SaveHooks wavHooks = hooks;
            wavHooks.Written = [&](const ExtractItem& item, std::size_t written) {
                field = &outcome.Items[static_cast<std::size_t>(item.Row)].Wav;
                hooks.Written(item, written);
            };
            const auto skipped = [&](const ExtractItem& item, const std::string& why) {
                outcome.NoWav.emplace_back(outcome.Items[static_cast<std::size_t>(item.Row)].Caption, why);
            };
            StreamSoundsAsWav(buffer, items, PlanWavFiles(plan), path, options.ToWav, wavHooks, skipped, options.Kept);
        }
    }

    WriteIcons(buffer, found, items, folder, options, outcome);

    const FlashMap map = ComputeFlashMap(buffer.Bytes(), MapItemsOf(buffer.Bytes(), items), kMapCells);
    Digested digested = digesting.get();
    if (!digested.Image)
        throw ReportCancelled{};
    for (std::size_t i = 0; i < outcome.Items.size(); ++i)
        outcome.Items[i].Sha256 = std::move(digested.Items[i]);
    progress(95);
    WriteTables(buffer, *digested.Image, map, folder, options, outcome);
    progress(100);
}

}  // namespace

std::vector<std::string> ItemDigests(std::span<const uint8_t> image, const std::vector<FoundItem>& items)
{
    std::vector<std::string> digests;
    digests.reserve(items.size());
    for (const FoundItem& item : items) {
        const bool inside =
            item.Start >= 0 && item.End >= item.Start && static_cast<std::size_t>(item.End) <= image.size();
        digests.push_back(inside ? Sha256Hex(image.subspan(static_cast<std::size_t>(item.Start),
                                                           static_cast<std::size_t>(item.End - item.Start)))
                                 : std::string());
    }
    return digests;
}

std::vector<ReportItem> ReportItemsOf(std::span<const uint8_t> image, const ContentFound& found,
                                      const std::vector<FoundItem>& items, const std::vector<std::string>& captions,
                                      bool digests)
{
    std::vector<std::string> sha256 = digests ? ItemDigests(image, items) : std::vector<std::string>(items.size());
    std::vector<ReportItem> report;
    report.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FoundItem& item = items[i];
        ReportItem row;
        row.Caption = Clean(captions[i]);
        row.Kind = std::string(ContentKindName(KindOf(item.Type)));
        row.Type = Clean(ItemTypeName(item));
        row.Status = ItemStatusName(item.Status);
        row.Start = item.Start;
        row.End = item.End;
        if (item.Start >= 0 && item.End >= item.Start && static_cast<std::size_t>(item.End) <= image.size())
            row.Sha256 = Sha256Hex(
                image.subspan(static_cast<std::size_t>(item.Start), static_cast<std::size_t>(item.End - item.Start)));
        if (item.Midlet >= 0)
            row.Title = Clean(found.Midlets[static_cast<std::size_t>(item.Midlet)].Name);
        report.push_back(std::move(row));
    }
    return report;
}

std::optional<ReportImage> DescribeImage(const TCustomHexBuffer& buffer, const std::string& name,
                                         const std::atomic<bool>* cancel)
{
    ReportImage image;
    image.Name = name;
    image.Size = static_cast<int64_t>(buffer.Bytes().size());
    for (const FirmwareFact& fact : ReadFirmwareInfo(buffer.Bytes()))
        image.Facts.emplace_back(Clean(fact.Caption), Clean(ShownFactValue(fact)));
    std::optional<ImageDigests> digests = DigestImage(buffer.Bytes(), cancel);
    if (!digests)
        return std::nullopt;
    image.Digests = std::move(*digests);
    return image;
}

ReportOutcome WriteReport(TCustomHexBuffer& buffer, const ContentFound& found, const std::vector<FoundItem>& items,
                          const std::vector<std::string>& captions, const std::string& folder,
                          const ReportOptions& options)
{
    ReportOutcome outcome;
    try {
        WriteAll(buffer, found, items, captions, folder, options, outcome);
    } catch (const ReportCancelled&) {
        outcome.Cancelled = true;
    } catch (const std::filesystem::filesystem_error& failure) {
        outcome.Failed.emplace_back(folder, failure.what());
    }
    return outcome;
}

}  // namespace kestrix
