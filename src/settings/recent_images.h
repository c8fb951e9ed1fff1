#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace kestrix {

class TRegIniStore;

// The images opened last, most recent first: at most kLimit paths, each once.
// Kept in the settings store in its own section, one value per place
// ("Image1" ... "Image10"; an empty value is an unused place).
class RecentImages {
public:
    static constexpr int kLimit = 10;

    RecentImages() = default;
    // Takes paths in order, dropping empty ones, later repeats and those past kLimit.
    explicit RecentImages(const QStringList& paths);

    const QStringList& Paths() const noexcept { return m_paths; }

    // Puts path first, removing it from further down; the oldest falls off past kLimit.
    // An empty path changes nothing.
    void Add(const QString& path);
    // Drops the paths for which exists is false; returns how many were dropped.
    // Without a test, a path is kept while it names an existing file.
    int DropMissing(const std::function<bool(const QString&)>& exists = {});

    // Reads the list from section of store; a missing section gives an empty list.
    // Raises what the store raises.
    static RecentImages Load(TRegIniStore& store, const QString& section);
    // Writes every place of the list to section of store. Raises what the store raises.
    void Save(TRegIniStore& store, const QString& section) const;

private:
    QStringList m_paths;
};

}  // namespace kestrix
