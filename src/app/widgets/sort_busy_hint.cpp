#include "sort_busy_hint.h"

#include "picture_sort_model.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QStatusBar>

namespace kestrix {
namespace {

QStatusBar* StatusBarOf(QWidget* widget)
{
    auto* window = qobject_cast<QMainWindow*>(widget->window());
    return window != nullptr ? window->statusBar() : nullptr;
}

}  // namespace

SortBusyHint::SortBusyHint(QHeaderView* header, PictureSortModel* model)
    : QObject(header), m_header(header), m_model(model)
{
    connect(model, &PictureSortModel::SortingChanged, this, &SortBusyHint::Show);
}

SortBusyHint::~SortBusyHint()
{
    if (m_busy)
        QGuiApplication::restoreOverrideCursor();
}

void SortBusyHint::Show(bool sorting)
{
    if (sorting == m_busy)
        return;
    m_busy = sorting;
    QStatusBar* bar = StatusBarOf(m_header);
    if (sorting) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        m_message = m_model->Ordering() ? QStringLiteral("Сортировка…") : QStringLiteral("Фильтрация…");
        if (bar != nullptr)
            bar->showMessage(m_message);
        return;
    }
    QGuiApplication::restoreOverrideCursor();
    if (bar != nullptr && bar->currentMessage() == m_message)
        bar->clearMessage();
}

}  // namespace kestrix
