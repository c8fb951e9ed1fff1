#include "recent_images.h"

#include "reg_ini_store.h"

#include <QFileInfo>

namespace kestrix {
namespace {

QString PlaceName(int place)
{
    return QStringLiteral("Image%1").arg(place + 1);
}

}  // namespace

RecentImages::RecentImages(const QStringList& paths)
{
    for (const QString& path : paths)
        if (!path.isEmpty() && !m_paths.contains(path) && m_paths.size() < kLimit)
            m_paths.append(path);
}

void RecentImages::Add(const QString& path)
{
    if (path.isEmpty())
        return;
    m_paths.removeAll(path);
    m_paths.prepend(path);
    while (m_paths.size() > kLimit)
        m_paths.removeLast();
}

int RecentImages::DropMissing(const std::function<bool(const QString&)>& exists)
{
    const auto missing = [&exists](const QString& path) { return exists ? !exists(path) : !QFileInfo(path).isFile(); };
    return static_cast<int>(m_paths.removeIf(missing));
}

RecentImages RecentImages::Load(TRegIniStore& store, const QString& section)
{
    QStringList paths;
    for (int place = 0; place < kLimit; ++place)
        paths.append(store.ReadString(section, PlaceName(place), QString()));
    return RecentImages(paths);
}

void RecentImages::Save(TRegIniStore& store, const QString& section) const
{
    // Every place is written so that a shorter list leaves no old path behind.
    for (int place = 0; place < kLimit; ++place)
        store.WriteString(section, PlaceName(place), place < m_paths.size() ? m_paths[place] : QString());
}

}  // namespace kestrix
