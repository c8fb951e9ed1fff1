#include "window_layout.h"

#include "reg_ini_store.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>

#include <exception>
#include <utility>

namespace kestrix {
namespace {

const QString kGeometryKey = QStringLiteral("Geometry");

// "AllPictures/GallerySplitter": the object names from below the window down
// to widget; empty when widget or one of its parents has no name, so that
// only widgets placed on purpose are remembered.
QString PathOf(const QWidget& window, const QWidget* widget)
{
    QString path;
    for (const QObject* at = widget; at != nullptr && at != &window; at = at->parent()) {
        if (at->objectName().isEmpty())
            continue;
        path = path.isEmpty() ? at->objectName() : at->objectName() + u'/' + path;
    }
    return widget->objectName().isEmpty() ? QString() : path;
}

QString Text(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

QByteArray Bytes(const QString& text)
{
    return QByteArray::fromBase64(text.toLatin1());
}

// The tables whose headers are kept: our views with a name.
template <typename Visit>
void ForEachHeader(const QWidget& window, Visit visit)
{
    for (QAbstractItemView* view : window.findChildren<QAbstractItemView*>()) {
        QHeaderView* header = nullptr;
        if (auto* table = qobject_cast<QTableView*>(view))
            header = table->horizontalHeader();
        else if (auto* tree = qobject_cast<QTreeView*>(view))
            header = tree->header();
        const QString path = PathOf(window, view);
        if (header != nullptr && !path.isEmpty() && view->property("kestrixKeepHeader").toBool())
            visit(path + QStringLiteral("/Header"), *view, *header);
    }
}

}  // namespace

WindowLayout::WindowLayout(QWidget& window, QString section, std::vector<LayoutValue> values)
    : m_window(window), m_section(std::move(section)), m_values(std::move(values))
{
}

void WindowLayout::Save(TRegIniStore& store) const
{
    // Written at once: the window closes without waiting for a write per value.
    QList<QPair<QString, QString>> values;
    values.append({kGeometryKey, Text(m_window.saveGeometry())});
    for (const QSplitter* splitter : m_window.findChildren<QSplitter*>()) {
        const QString path = PathOf(m_window, splitter);
        if (!path.isEmpty())
            values.append({path, Text(splitter->saveState())});
    }
    ForEachHeader(m_window, [&](const QString& key, QAbstractItemView&, QHeaderView& header) {
        values.append({key, Text(header.saveState())});
    });
    for (const LayoutValue& value : m_values)
        values.append({value.Key, value.Get()});
    store.WriteStrings(m_section, values);
}

bool WindowLayout::Restore(TRegIniStore& store) const
{
    if (!store.ValueExists(m_section, kGeometryKey))
        return false;
    const auto read = [&](const QString& key) { return store.ReadString(m_section, key, QString()); };
    m_window.restoreGeometry(Bytes(read(kGeometryKey)));
    for (QSplitter* splitter : m_window.findChildren<QSplitter*>()) {
        const QString path = PathOf(m_window, splitter);
        if (!path.isEmpty() && store.ValueExists(m_section, path))
            splitter->restoreState(Bytes(read(path)));
    }
    ForEachHeader(m_window, [&](const QString& key, QAbstractItemView& view, QHeaderView& header) {
        if (!store.ValueExists(m_section, key) || !header.restoreState(Bytes(read(key))))
            return;
        // The header shows the sort; the model is sorted by the view.
        if (auto* table = qobject_cast<QTableView*>(&view); table && table->isSortingEnabled())
            table->sortByColumn(header.sortIndicatorSection(), header.sortIndicatorOrder());
        if (auto* tree = qobject_cast<QTreeView*>(&view); tree && tree->isSortingEnabled())
            tree->sortByColumn(header.sortIndicatorSection(), header.sortIndicatorOrder());
    });
    for (const LayoutValue& value : m_values) {
        if (store.ValueExists(m_section, value.Key))
            value.Set(read(value.Key));
    }
    return true;
}

}  // namespace kestrix
