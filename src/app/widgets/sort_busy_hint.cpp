#include "sort_busy_hint.h"

#include <QAbstractItemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>

namespace kestrix {
namespace {

QStatusBar* StatusBarOf(QWidget* widget)
{
    auto* window = qobject_cast<QMainWindow*>(widget->window());
    return window != nullptr ? window->statusBar() : nullptr;
}

}  // namespace

SortBusyHint::SortBusyHint(QHeaderView* header, int minRows) : QObject(header), m_header(header), m_minRows(minRows)
{
    header->viewport()->installEventFilter(this);
}

bool SortBusyHint::eventFilter(QObject* watched, QEvent* event)
{
    if (m_busy || event->type() != QEvent::MouseButtonRelease ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton || !m_header->sectionsClickable() ||
        m_header->model() == nullptr || m_header->model()->rowCount() < m_minRows)
        return QObject::eventFilter(watched, event);
    m_busy = true;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    if (QStatusBar* bar = StatusBarOf(m_header)) {
        bar->showMessage(QStringLiteral("Сортировка…"));
        // The sort follows within this event: paint the message before it.
        bar->repaint();
    }
    QGuiApplication::sync();
    // Runs once the release, and the sort it starts, are handled.
    QTimer::singleShot(0, this, &SortBusyHint::Done);
    return QObject::eventFilter(watched, event);
}

void SortBusyHint::Done()
{
    m_busy = false;
    QGuiApplication::restoreOverrideCursor();
    if (QStatusBar* bar = StatusBarOf(m_header))
        bar->clearMessage();
}

}  // namespace kestrix
