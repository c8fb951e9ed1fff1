#include "extraction.h"

#include "atomic_file.h"
#include "code_page.h"
#include "exceptions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace kestrix {
namespace {

// The failure to write the file at path, with the system's reason when known.
EWriteError WriteError(const std::string& path, int error)
{
    const std::string file = FormatMessage("Stream write error in file \"%s\"", {path});
    return EWriteError(error != 0 ? file + ". " + SystemErrorText(error) : file);
}

// Whether path names the file the image in buffer was loaded from.
bool IsOpenImage(const TCustomHexBuffer& buffer, const std::string& path)
{
    struct stat target {};
    struct stat image {};
    return ::stat(path.c_str(), &target) == 0 && ::stat(buffer.FileName().c_str(), &image) == 0 &&
           target.st_dev == image.st_dev && target.st_ino == image.st_ino;
}

// name with " (n)" before its extension, the part from its last "." unless
// that is its first character.
std::string Numbered(const std::string& name, int n)
{
    const std::size_t dot = name.find_last_of('.');
    const std::size_t at = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, at) + " (" + std::to_string(n) + ")" + name.substr(at);
}

}  // namespace

std::string SafeFileName(const std::string& caption)
{
    std::string separated = caption;
    std::replace(separated.begin(), separated.end(), '/', '_');
    std::replace(separated.begin(), separated.end(), '\\', '_');
    std::string name = Cp1251ToCleanUtf8(separated, ControlShown::Underscore);
    // Nothing saved is hidden; "." and ".." are covered too.
    if (name.empty() || name.front() == '.')
        name.insert(0, 1, '_');
    return name;
}

int32_t ItemRange::Count() const noexcept
{
    const int64_t count = static_cast<int64_t>(End) - Start;
    return static_cast<int32_t>(std::clamp<int64_t>(count, INT32_MIN, INT32_MAX));
}

std::string SafeUtf8FileName(std::string_view utf8)
{
    std::string name;
    name.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<uint8_t>(utf8[i]);
        // U+0080–U+009F are C2 80–C2 9F in UTF-8.
        const bool c1 = byte == 0xC2 && i + 1 < utf8.size() && static_cast<uint8_t>(utf8[i + 1]) >= 0x80 &&
                        static_cast<uint8_t>(utf8[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || byte == '/' || byte == '\\' || c1) {
            name += '_';
            i += c1 ? 1 : 0;
        } else {
            name += static_cast<char>(byte);
        }
    }
    if (name.empty() || name.front() == '.')
        name.insert(0, 1, '_');
    return name;
}

std::string FolderNames::Claim(const std::string& caption)
{
    return ClaimSafe(SafeFileName(caption));
}

std::string FolderNames::ClaimSafe(const std::string& name)
{
    if (m_taken.insert(name).second)
        return name;
    int& n = m_nextNumber.try_emplace(name, 2).first->second;
    std::string numbered = Numbered(name, n);
    while (!m_taken.insert(numbered).second)
        numbered = Numbered(name, ++n);
    ++n;
    return numbered;
}

std::vector<ExtractItem> PlanExtraction(ListKind list, std::size_t count, const RowTextFunction& rowText,
                                        const std::vector<bool>& selected)
{
    const ListTraits& traits = TraitsOf(list);
    std::vector<ExtractItem> items;
    FolderNames names;
    for (std::size_t i = 0; i < count; ++i) {
        if (!selected.empty() && (i >= selected.size() || !selected[i]))
            continue;
        const ResultRow row = rowText(i);
        if (traits.Saves(row))
            items.push_back({static_cast<int32_t>(i), names.Claim(traits.SaveName(row))});
    }
    return items;
}

std::vector<ExtractItem> PlanExtraction(ListKind list, const FoundRows& rows, const std::vector<bool>& selected)
{
    const auto text = TraitsOf(list).Text;
    return PlanExtraction(
        list, rows.Count(), [&](std::size_t i) { return text(rows, i); }, selected);
}

ItemRange RangeOfCells(const ResultRow& row)
{
    const int32_t end = StrToInt(row.Cell(RowCell::End));
    const int32_t start = StrToInt(row.Cell(RowCell::Start));
    return {start, end};
}

void KeptFiles::Add(const std::string& path)
{
    struct stat file {};
    if (::stat(path.c_str(), &file) == 0)
        m_files.emplace(file.st_dev, file.st_ino);
}

bool KeptFiles::Holds(const std::string& path) const
{
    struct stat file {};
    if (m_files.empty() || ::stat(path.c_str(), &file) != 0)
        return false;
    return m_files.contains({file.st_dev, file.st_ino});
}

std::string ExtractToFolder(TCustomHexBuffer& buffer, const std::string& folder, const std::string& fileName,
                            ItemRange range, const KeptFiles* kept)
{
    const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + fileName;
    WriteRangeToFileAtomically(buffer, path, range.Start, range.Count(), kept);
    return path;
}

void WriteBytesToFileAtomically(TCustomHexBuffer& buffer, const std::string& path, std::span<const uint8_t> bytes,
                                const KeptFiles* kept)
{
    if (IsOpenImage(buffer, path) || (kept != nullptr && kept->Holds(path)))
        throw ReplacesImageError(FormatMessage("Cannot replace the open image \"%s\"", {path}));
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX))
        throw WriteError(path, EFBIG);
    AtomicFile file(path);
    try {
        file.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
        file.Commit();
    } catch (const EWriteError&) {
        throw WriteError(path, file.LastError() != 0 ? file.LastError() : errno);
    }
}

bool WriteToFileAtomically(TCustomHexBuffer& buffer, const std::string& path,
                           const std::function<bool(Stream& out)>& write, const KeptFiles* kept)
{
    if (IsOpenImage(buffer, path) || (kept != nullptr && kept->Holds(path)))
        throw ReplacesImageError(FormatMessage("Cannot replace the open image \"%s\"", {path}));
    AtomicFile file(path);
    try {
        if (!write(file))
            return false;
        file.Commit();
    } catch (const EWriteError&) {
        throw WriteError(path, file.LastError() != 0 ? file.LastError() : errno);
    }
    return true;
}

void WriteRangeToFileAtomically(TCustomHexBuffer& buffer, const std::string& path, int32_t start, int32_t count,
                                const KeptFiles* kept)
{
    if (IsOpenImage(buffer, path) || (kept != nullptr && kept->Holds(path)))
        throw ReplacesImageError(FormatMessage("Cannot replace the open image \"%s\"", {path}));
    AtomicFile file(path);
    try {
        buffer.WriteRangeToStream(file, start, count);
        file.Commit();
    } catch (const EWriteError&) {
        throw WriteError(path, file.LastError() != 0 ? file.LastError() : errno);
    }
}

SaveReport SaveToFolder(TCustomHexBuffer& buffer, const std::string& folder, const std::vector<ExtractItem>& items,
                        const ItemRangeFunction& rangeOf, const SaveHooks& hooks, const KeptFiles& kept)
{
    RemoveAbandonedTemporaries(
        folder, [&buffer, &kept](const std::string& path) { return IsOpenImage(buffer, path) || kept.Holds(path); });
    SaveReport report;
    for (const ExtractItem& item : items) {
        try {
            ExtractToFolder(buffer, folder, item.FileName, rangeOf(item), &kept);
        } catch (const std::exception& failure) {
            if (!hooks.Failed || hooks.Failed(item, failure) == AfterFailure::Stop)
                throw;
            if (!report.FirstFailure)
                report.FirstFailure = std::current_exception();
            continue;
        }
        ++report.Written;
        if (hooks.Written)
            hooks.Written(item, report.Written);
    }
    return report;
}

}  // namespace kestrix
