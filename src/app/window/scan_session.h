#pragma once

#include "content_list_model.h"
#include "content_search.h"
#include "found_rows.h"
#include "list_kind.h"
#include "picture_search.h"
#include "scan_hooks.h"

#include <QElapsedTimer>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kestrix {

class ProgressGauge;
class ResultListView;
class THexBuffer;

// One scan of the image at a time: the design's scans on the user-interface
// thread, the list being filled showing its rows as they come and pending
// events processed at most once per yield interval; our searches and saves on
// a thread of their own while the window answers. The gauge shows the progress. While the
// scan runs the window's commands and row selection are switched off through
// SetInteractive; a close asked for meanwhile ends the scan at its next yield
// and is carried out through CloseWindow once the scan has ended.
// Work run off the window's thread: it tells how far it is (Done of Total,
// shown on the gauge) and stops soon after Cancel is set.
struct BackgroundWork {
    std::atomic<int64_t> Done{0};
    std::atomic<int64_t> Total{0};
    std::atomic<bool> Cancel{false};
};

class ScanSession {
public:
    // SetInteractive(false) switches the window's commands and selection off,
    // SetInteractive(true) on again; CloseWindow closes the window later, from
    // a fresh event.
    ScanSession(std::function<void(bool enabled)> setInteractive, std::function<void()> closeWindow);

    // Runs the scan of kind over image into list, showing its progress on
    // gauge. The number of rows, or nothing when the image is too small to
    // scan (the list is then left as it was). A cancelled scan returns the
    // number of rows found before it stopped, which the list keeps.
    std::optional<std::size_t> Run(ListKind kind, THexBuffer& image, ResultListView& list, ProgressGauge& gauge);
    // Runs the deep picture search over image (FindAllPictures) off the
    // window's thread, with check as its strict decode check, showing its
    // progress on gauge. Images of any size are searched. The pictures found;
    // none when the search was cancelled.
    std::vector<FoundItem> RunPictures(THexBuffer& image, ProgressGauge& gauge, const PictureDecodeCheck& check);

    // Runs the content search over image (FindAllContent) off the window's
    // thread with the strict picture check and the sound decoders' check,
    // showing its progress on gauge. What it found with the items' captions;
    // null when the search was cancelled.
    std::shared_ptr<ContentResults> RunContent(THexBuffer& image, ProgressGauge& gauge, const PictureDecodeCheck& check,
                                               const SoundDecodeCheck& soundCheck);
    // Runs work on a thread of its own while the window keeps answering, its
    // commands off as during a scan and the gauge showing work's progress.
    // Returns when work has returned; rethrows what work threw. False when
    // the work was cancelled (Cancel, or a close of the window).
    bool RunInBackground(ProgressGauge& gauge, const std::function<void(BackgroundWork& work)>& work);

    bool Running() const noexcept { return m_running; }
    // Ends the running scan or background work at its next yield; nothing
    // when none runs.
    void Cancel() noexcept;
    bool Cancelled() const noexcept { return m_cancelled; }
    // Ends the running scan at its next yield, then closes the window.
    void CloseWhenEnded() noexcept;

    // The least time between two event-processing rounds, in ms (16 by default).
    void SetYieldInterval(int32_t milliseconds) noexcept { m_yieldIntervalMs = milliseconds; }

private:
    // Ends the scan however Run or RunPictures leaves.
    struct EndScope {
        ScanSession& Session;
        ~EndScope() { Session.End(); }
    };

    ScanHooks MakeHooks();
    // Hooks for a search run by RunInBackground: its gauge moves work's
    // figures and it stops when work is cancelled.
    static ScanHooks BackgroundHooks(BackgroundWork& work, const PictureDecodeCheck& check);
    bool KeepGoing();
    // list: the view filled as rows come, if any.
    void Begin(ResultListView* list, ProgressGauge& gauge);
    void End();

    std::function<void(bool enabled)> m_setInteractive;
    std::function<void()> m_closeWindow;
    bool m_running = false;
    bool m_cancelled = false;
    bool m_closeAfterScan = false;
    BackgroundWork* m_work = nullptr;
    ResultListView* m_list = nullptr;
    ProgressGauge* m_gauge = nullptr;
    QElapsedTimer m_yieldClock;
    int32_t m_yieldIntervalMs = 16;
};

}  // namespace kestrix
