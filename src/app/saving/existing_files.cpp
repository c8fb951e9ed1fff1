#include "existing_files.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unordered_set>

namespace kestrix {
namespace {

namespace fs = std::filesystem;

Existing CompareFile(const fs::path& path, const std::optional<std::span<const uint8_t>>& bytes)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || status.type() == fs::file_type::not_found)
        return Existing::None;
    // A link would be replaced by a file, never written through: it is not what the save writes.
    if (!bytes || status.type() != fs::file_type::regular)
        return Existing::Differs;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size != bytes->size())
        return Existing::Differs;
    std::ifstream in(path, std::ios::binary);
    std::array<char, 64 * 1024> chunk{};
    std::size_t done = 0;
    while (done < bytes->size()) {
        const std::size_t want = std::min(chunk.size(), bytes->size() - done);
        if (!in.read(chunk.data(), static_cast<std::streamsize>(want)))
            return Existing::Differs;
        if (std::memcmp(chunk.data(), bytes->data() + done, want) != 0)
            return Existing::Differs;
        done += want;
    }
    return Existing::Identical;
}

bool Taken(const fs::path& folder, const std::string& name)
{
    std::error_code error;
    return fs::symlink_status(folder / fs::u8path(name), error).type() != fs::file_type::not_found;
}

// "name (n).ext", the extension from the last "." unless that is the first character.
std::string Numbered(const std::string& name, int n)
{
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    return stem + " (" + std::to_string(n) + ")" + extension;
}

}  // namespace

std::vector<Existing> CompareWithFolder(const std::string& folder, const std::vector<ExtractItem>& items,
                                        const ItemBytesFunction& bytesOf, const std::atomic<bool>* cancel)
{
    std::vector<Existing> existing(items.size(), Existing::None);
    const fs::path base(folder);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (cancel && cancel->load())
            break;
        existing[i] = CompareFile(base / fs::u8path(items[i].FileName), bytesOf(items[i]));
    }
    return existing;
}

ResolvedSave ResolveExisting(const std::string& folder, const std::vector<ExtractItem>& items,
                             const std::vector<Existing>& existing, const OverwriteAsk& ask)
{
    ResolvedSave resolved;
    const fs::path base(folder);
    std::unordered_set<std::string> names;
    for (const ExtractItem& item : items)
        names.insert(item.FileName);
    int32_t left = static_cast<int32_t>(std::count(existing.begin(), existing.end(), Existing::Differs));
    std::optional<OverwriteChoice> forAll;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Existing state = i < existing.size() ? existing[i] : Existing::None;
        if (state == Existing::None) {
            resolved.Write.push_back(items[i]);
            continue;
        }
        if (state == Existing::Identical) {
            ++resolved.Identical;
            continue;
        }
        OverwriteChoice choice;
        if (forAll) {
            choice = *forAll;
        } else {
            const OverwriteAnswer answer = ask({items[i].FileName, left});
            choice = answer.Choice;
            if (answer.ForAll)
                forAll = choice;
        }
        --left;
        switch (choice) {
        case OverwriteChoice::CancelSave: resolved.Cancelled = true; return resolved;
        case OverwriteChoice::Skip: ++resolved.Skipped; break;
        case OverwriteChoice::Replace:
            ++resolved.Replaced;
            resolved.Write.push_back(items[i]);
            break;
        case OverwriteChoice::KeepBoth: {
            std::string name;
            for (int n = 2;; ++n) {
                name = Numbered(items[i].FileName, n);
                if (!names.contains(name) && !Taken(base, name))
                    break;
            }
            names.insert(name);
            ++resolved.KeptBoth;
            resolved.Write.push_back({items[i].Row, name});
            break;
        }
        }
    }
    return resolved;
}

}  // namespace kestrix
