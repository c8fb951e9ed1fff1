#include "content_extraction.h"

#include "code_page.h"
#include "content_list.h"
#include "exceptions.h"

namespace kestrix {

std::vector<ExtractItem> PlanContentExtraction(const std::vector<FoundItem>& items,
                                               const std::vector<std::string>& captions, ContentKind kind,
                                               const std::vector<bool>& keep, FormatTable formats)
{
    std::vector<ExtractItem> plan;
    FolderNames names;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (KindOf(items[i].Type, formats) != kind || (!keep.empty() && (i >= keep.size() || !keep[i])))
            continue;
        plan.push_back({static_cast<int32_t>(i), names.Claim(captions[i])});
    }
    return plan;
}

std::vector<ExtractItem> PlanWavFiles(const std::vector<ExtractItem>& plan)
{
    FolderNames names;
    for (const ExtractItem& item : plan)
        names.Claim(Utf8ToCp1251(item.FileName));
    std::vector<ExtractItem> wavFiles;
    wavFiles.reserve(plan.size());
    for (const ExtractItem& item : plan)
        wavFiles.push_back({item.Row, names.Claim(Utf8ToCp1251(item.FileName + ".wav"))});
    return wavFiles;
}

std::size_t StreamSoundsAsWav(TCustomHexBuffer& buffer, const std::vector<FoundItem>& items,
                              const std::vector<ExtractItem>& wavFiles, const std::string& folder,
                              const WavStreamer& toWav, const SaveHooks& hooks,
                              const std::function<void(const ExtractItem& item, const std::string& why)>& skipped,
                              const KeptFiles& kept)
{
    std::size_t written = 0;
    for (const ExtractItem& item : wavFiles) {
        const FoundItem& sound = items[static_cast<std::size_t>(item.Row)];
        const auto bytes =
            buffer.Bytes().subspan(static_cast<std::size_t>(sound.Start), static_cast<std::size_t>(sound.Size()));
        std::string why;
        try {
            const bool whole = WriteToFileAtomically(
                buffer, (folder.empty() ? std::string(".") : folder) + "/" + item.FileName,
                [&](Stream& out) { return toWav(sound.Type, bytes, out, why); }, &kept);
            if (!whole) {
                if (skipped)
                    skipped(item, why);
                continue;
            }
        } catch (const std::exception& failure) {
            if (!hooks.Failed || hooks.Failed(item, failure) == AfterFailure::Stop)
                throw;
            continue;
        }
        ++written;
        if (hooks.Written)
            hooks.Written(item, written);
    }
    return written;
}

}  // namespace kestrix
