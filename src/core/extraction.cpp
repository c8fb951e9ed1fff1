#include "extraction.h"

#include "code_page.h"
#include "exceptions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix {
namespace {

// A file stream over a freshly made temporary file; removes the file unless
// it was handed on with Commit().
class TemporaryFileStream : public FileStream {
public:
    static TemporaryFileStream Create(const std::string& folder, const std::string& finalPath)
    {
        std::string pattern = folder + "/.kestrix-XXXXXX";
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0)
            throw EFCreateError(FormatMessage("Cannot create file \"%s\". %s", {finalPath, SystemErrorText(errno)}));
        // mkstemp makes the file private; give it the permissions a plain create
        // would. The process's mask is read once: reading it means setting it.
        static const mode_t mask = [] {
            const mode_t current = ::umask(0);
            ::umask(current);
            return current;
        }();
        ::fchmod(fd, 0666 & ~mask);
        return TemporaryFileStream(fd, pattern);
    }

    TemporaryFileStream(TemporaryFileStream&& other) noexcept
        : FileStream(other.ReleaseHandle(), other.FileName()), m_keep(other.m_keep) {}

    ~TemporaryFileStream() override
    {
        if (!m_keep)
            ::unlink(FileName().c_str());
    }

    // Flushes the file and renames it over path.
    void Commit(const std::string& path)
    {
        if (::close(ReleaseHandle()) != 0)
            throw EWriteError("Stream write error");
        if (::rename(FileName().c_str(), path.c_str()) != 0)
            throw EFCreateError(FormatMessage("Cannot create file \"%s\". %s", {path, SystemErrorText(errno)}));
        m_keep = true;
    }

private:
    TemporaryFileStream(int fd, const std::string& path) : FileStream(fd, path) {}

    bool m_keep = false;
};

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string SafeFileName(const std::string& caption)
{
    std::string separated = caption;
    std::replace(separated.begin(), separated.end(), '/', '_');
    std::replace(separated.begin(), separated.end(), '\\', '_');
    std::string name = Cp1251ToCleanUtf8(separated, ControlShown::Underscore);
    if (name.empty() || name == "." || name == "..")
        name = "_" + name;
    return name;
}

int32_t ItemRange::Count() const noexcept
{
    const int64_t count = static_cast<int64_t>(End) - Start;
    return static_cast<int32_t>(std::clamp<int64_t>(count, INT32_MIN, INT32_MAX));
}

std::vector<ExtractItem> PlanExtraction(ListKind list, std::size_t count, const RowTextFunction& rowText,
                                         const std::vector<bool>& selected)
{
    const ListTraits& traits = TraitsOf(list);
    std::vector<ExtractItem> items;
    for (std::size_t i = 0; i < count; ++i) {
        if (!selected.empty() && (i >= selected.size() || !selected[i]))
            continue;
        const TResultRow row = rowText(i);
        if (traits.Saves(row))
            items.push_back({static_cast<int32_t>(i), SafeFileName(traits.SaveName(row))});
    }
    return items;
}

std::vector<ExtractItem> PlanExtraction(ListKind list, const FoundRows& rows, const std::vector<bool>& selected)
{
    const auto text = TraitsOf(list).Text;
    return PlanExtraction(list, rows.Count(), [&](std::size_t i) { return text(rows, i); }, selected);
}

ItemRange RangeOfCells(const TResultRow& row)
{
    const int32_t end = StrToInt(row.Cell(rcEnd));
    const int32_t start = StrToInt(row.Cell(rcStart));
    return {start, end};
}

std::string ExtractToFolder(TCustomHexBuffer& buffer, const std::string& folder, const std::string& fileName,
                            ItemRange range)
{
    const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + fileName;
    WriteRangeToFileAtomically(buffer, path, range.Start, range.Count());
    return path;
}

void WriteRangeToFileAtomically(TCustomHexBuffer& buffer, const std::string& path, int32_t start, int32_t count)
{
    TemporaryFileStream file = TemporaryFileStream::Create(FolderOf(path), path);
    buffer.WriteRangeToStream(file, start, count);
    file.Commit(path);
}

}  // namespace kestrix
