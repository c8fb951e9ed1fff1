#include "jpeg_warning_trap.h"

#include <QLoggingCategory>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace kestrix {
namespace {

constexpr const char* kJpegCategory = "qt.gui.imageio.jpeg";

std::mutex g_trapMutex;
std::atomic<QtMessageHandler> g_previousHandler{nullptr};
QLoggingCategory::CategoryFilter g_previousFilter = nullptr;
thread_local bool* t_warned = nullptr;

bool IsJpegCategory(const char* name) noexcept
{
    return name != nullptr && std::strcmp(name, kJpegCategory) == 0;
}

void CatchJpegWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (t_warned != nullptr && IsJpegCategory(context.category)) {
        *t_warned = true;
        return;
    }
    if (QtMessageHandler previous = g_previousHandler.load())
        previous(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// The trap needs the JPEG reader's warnings even where the logging rules
// switch them off.
void KeepJpegWarningsOn(QLoggingCategory* category)
{
    if (g_previousFilter != nullptr)
        g_previousFilter(category);
    if (IsJpegCategory(category->categoryName()))
        category->setEnabled(QtWarningMsg, true);
}

}  // namespace

JpegWarningTrap::JpegWarningTrap() : m_lock(g_trapMutex)
{
    static std::once_flag filterInstalled;
    std::call_once(filterInstalled, [] { g_previousFilter = QLoggingCategory::installFilter(KeepJpegWarningsOn); });
    t_warned = &m_warned;
    g_previousHandler.store(qInstallMessageHandler(CatchJpegWarnings));
}

JpegWarningTrap::~JpegWarningTrap()
{
    qInstallMessageHandler(g_previousHandler.load());
    t_warned = nullptr;
}

}  // namespace kestrix
