#include "scan_session.h"

#include "custom_hex_buffer.h"
#include "file_entry_scan.h"
#include "progress_gauge.h"
#include "result_list_view.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

namespace kestrix {

ScanSession::ScanSession(std::function<void(bool enabled)> setInteractive, std::function<void()> closeWindow)
    : m_setInteractive(std::move(setInteractive)), m_closeWindow(std::move(closeWindow))
{
}

std::optional<std::size_t> ScanSession::Run(ListKind kind, THexBuffer& image, ResultListView& list,
                                            ProgressGauge& gauge)
{
    const ListTraits& traits = TraitsOf(kind);
    if (image.DataSize() <= kMinScanSize)
        return std::nullopt;

    Begin(&list, gauge);
    EndScope scope{*this};
    if (!traits.Scan(image, MakeHooks(), list.Model().BeginFill(traits.Text)))
        return std::nullopt;
    list.Model().EndFill();
    return list.Model().RowCount();
}

std::vector<FoundItem> ScanSession::RunPictures(THexBuffer& image, ProgressGauge& gauge,
                                                const PictureDecodeCheck& check)
{
    std::optional<std::vector<FoundItem>> found;
    const std::span<const uint8_t> bytes = image.Bytes();
    RunInBackground(gauge, [&](BackgroundWork& work) { found = FindAllPictures(bytes, BackgroundHooks(work, check)); });
    return found && !m_cancelled ? std::move(*found) : std::vector<FoundItem>{};
}

std::shared_ptr<ContentResults> ScanSession::RunContent(THexBuffer& image, ProgressGauge& gauge,
                                                        const PictureDecodeCheck& check,
                                                        const SoundDecodeCheck& soundCheck)
{
    std::shared_ptr<ContentResults> results;
    const std::span<const uint8_t> bytes = image.Bytes();
    RunInBackground(gauge, [&](BackgroundWork& work) {
        std::optional<ContentFound> found = FindAllContent(bytes, BackgroundHooks(work, check), soundCheck);
        if (!found)
            return;
        // A million items' captions take a second or more: not on the window's thread.
        results = std::make_shared<ContentResults>();
        results->Captions = ContentCaptions(found->Items);
        results->Found = std::move(*found);
    });
    if (m_cancelled)
        return nullptr;
    return results;
}

ScanHooks ScanSession::BackgroundHooks(BackgroundWork& work, const PictureDecodeCheck& check)
{
    // Called on the search's thread: they only pass figures to the window's.
    ScanHooks hooks;
    hooks.ShowGauge = [&work](int32_t maximum) {
        work.Done.store(0);
        work.Total.store(maximum);
    };
    hooks.MoveGauge = [&work](int32_t value) { work.Done.store(value); };
    hooks.KeepGoing = [&work] { return !work.Cancel.load(); };
    hooks.DecodeCheck = check;
    return hooks;
}

bool ScanSession::RunInBackground(ProgressGauge& gauge, const std::function<void(BackgroundWork& work)>& work)
{
    Begin(nullptr, gauge);
    EndScope scope{*this};
    BackgroundWork state;
    m_work = &state;
    gauge.SetMin(0);
    gauge.SetMax(1000);
    gauge.SetPosition(0);
    gauge.show();
    std::exception_ptr failure;
    std::atomic<bool> finished{false};
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    const auto show = [&] {
        const int64_t total = state.Total.load();
        if (total > 0)
            gauge.SetPosition(static_cast<int32_t>(std::min<int64_t>(state.Done.load(), total) * 1000 / total));
        if (finished.load())
            loop.quit();
    };
    QObject::connect(&poll, &QTimer::timeout, &loop, show);
    std::thread worker([&] {
        try {
            work(state);
        } catch (...) {
            failure = std::current_exception();
        }
        finished.store(true);
    });
    poll.start();
    // The loop is left only once the thread has finished: nothing of this
    // frame may be gone while the work still uses it.
    loop.exec();
    worker.join();
    m_work = nullptr;
    if (failure)
        std::rethrow_exception(failure);
    return !state.Cancel.load();
}

void ScanSession::Cancel() noexcept
{
    if (!m_running)
        return;
    m_cancelled = true;
    if (m_work)
        m_work->Cancel.store(true);
}

void ScanSession::CloseWhenEnded() noexcept
{
    Cancel();
    m_closeAfterScan = true;
}

ScanHooks ScanSession::MakeHooks()
{
    ScanHooks hooks;
    hooks.ShowGauge = [this](int32_t maximum) {
        m_gauge->SetMin(0);
        m_gauge->SetMax(maximum);
        m_gauge->SetPosition(0);
        m_gauge->show();
    };
    hooks.MoveGauge = [this](int32_t value) { m_gauge->SetPosition(value); };
    hooks.HideGauge = [this] {
        m_gauge->hide();
        m_gauge->SetMin(0);
    };
    hooks.KeepGoing = [this] { return KeepGoing(); };
    return hooks;
}

bool ScanSession::KeepGoing()
{
    // Processing events costs far more than one search step; doing it at
    // most once per interval keeps the window answering without slowing the scan.
    if (m_yieldClock.elapsed() >= m_yieldIntervalMs) {
        if (m_list)
            m_list->Model().ShowFilled();
        QCoreApplication::processEvents();
        m_yieldClock.restart();
    }
    return !m_cancelled;
}

void ScanSession::Begin(ResultListView* list, ProgressGauge& gauge)
{
    m_running = true;
    m_cancelled = false;
    m_list = list;
    m_gauge = &gauge;
    m_setInteractive(false);
    m_yieldClock.start();
}

void ScanSession::End()
{
    if (m_list)
        m_list->Model().EndFill();
    m_gauge->hide();
    m_gauge->SetMin(0);
    m_setInteractive(true);
    m_list = nullptr;
    m_gauge = nullptr;
    m_running = false;
    if (m_closeAfterScan) {
        m_closeAfterScan = false;
        m_closeWindow();
    }
}

}  // namespace kestrix
