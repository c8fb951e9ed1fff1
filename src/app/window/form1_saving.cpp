#include "form1.h"

#include "content_extraction.h"
#include "content_page.h"
#include "exceptions.h"
#include "existing_files.h"
#include "extraction.h"
#include "filter_bar.h"
#include "hex_dock.h"
#include "overwrite_dialog.h"
#include "picture_gallery.h"
#include "picture_list.h"
#include "progress_gauge.h"
#include "recent_images.h"
#include "result_list_view.h"
#include "save_controller.h"
#include "save_summary.h"
#include "sound_decoder.h"
#include "sound_player.h"
#include "sound_player_bar.h"
#include "sound_plugin.h"
#include "status_message.h"
#include "stream.h"
#include "wav_file.h"
#include "window_layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <exception>

namespace kestrix {

void TForm1::SaveSoundsAsWavFiles(bool selectedOnly)
{
    RunCommand([this, selectedOnly] {
        SaveWithSummary(
            SkipReason::NoEndAddress,
            [this, selectedOnly](SaveOutcome& outcome) { SaveContent(*m_sounds, selectedOnly, true, outcome); },
            [this](const SaveOutcome& outcome) { ShowSaveSummary(outcome); });
    });
}

ContentPage* TForm1::ContentPageAt(int32_t page) const
{
    switch (page) {
    case kSoundsPage: return m_sounds;
    case kApplicationsPage: return m_applications;
    case kPhoneFilesPage: return m_phoneFiles;
    default: return nullptr;
    }
}

QString TForm1::ChooseSaveTarget()
{
    const QString target = m_seams.SaveFile ? m_seams.SaveFile(m_saveDialog1) : ExecuteSaveDialog(this, m_saveDialog1);
    if (!target.isEmpty())
        m_saveDialog1.FileName = target;
    return target;
}

void TForm1::SaveContent(ContentPage& page, bool selectedOnly, bool wav, SaveOutcome& outcome)
{
    const ContentResults* results = page.Results();
    RowsToSave rows;
    if (results != nullptr) {
        rows.Count = static_cast<std::size_t>(page.RowCount());
        rows.Selected = page.SelectedItems();
        rows.SelCount = static_cast<std::size_t>(page.SelectedCount());
        rows.Shown = page.ShownItems();
        rows.ShownCount = static_cast<std::size_t>(page.ShownCount());
        rows.Filtered = page.ShownCount() < page.RowCount();
    }
    SaveSteps steps;
    steps.Plan = [results, &page](const std::vector<bool>& keep) {
        // Save all of an unfiltered page plans every item the page shows.
        return PlanContentExtraction(results->Found.Items, results->Captions, page.Kind(),
                                     keep.empty() ? page.ShownItems() : keep);
    };
    steps.ChooseTarget = [this] { return ChooseSaveTarget(); };
    steps.Write = [this, results, wav](const std::vector<ExtractItem>& plan, SaveOutcome& written) {
        if (wav) {
            written.Reason = SkipReason::NotPlayable;
            SaveWavFiles(results->Found.Items, PlanWavFiles(plan), written);
        } else {
            WriteOurItems(
                plan,
                [results](const ExtractItem& item) {
                    const FoundItem& found = results->Found.Items[static_cast<std::size_t>(item.Row)];
                    return ItemRange{found.Start, found.End};
                },
                written);
        }
        return std::exception_ptr();
    };
    SaveRowsTo(rows, selectedOnly, SavePages::Ours, steps, outcome);
}

namespace {

// One flag per row of count, set for the given rows.
std::vector<bool> FlagsOfRows(std::size_t count, const std::vector<int32_t>& rows)
{
    std::vector<bool> flags(count, false);
    for (const int32_t row : rows)
        flags[static_cast<std::size_t>(row)] = true;
    return flags;
}

// Thrown from a save's hooks on the worker thread to end the save after the file just written.
struct SaveStoppedByUser {};

AfterFailure GoOnPastKeptImage(const ExtractItem&, const std::exception& failure)
{
    // The open image is kept and the other rows go on; the refusal is told
    // at the end. Any other failure ends the save.
    return dynamic_cast<const ReplacesImageError*>(&failure) != nullptr ? AfterFailure::GoOn : AfterFailure::Stop;
}

}  // namespace

std::optional<std::vector<ExtractItem>> TForm1::ResolveOurItems(const std::vector<ExtractItem>& items,
                                                                const ItemBytesFunction& bytesOf, SaveOutcome& outcome)
{
    const std::string folder = QFile::encodeName(outcome.Folder).toStdString();
    std::vector<Existing> existing;
    const bool compared = m_scan.RunInBackground(*m_progressBar, [&](BackgroundWork& work) {
        work.Total = static_cast<int64_t>(items.size());
        existing = CompareWithFolder(folder, items, bytesOf, &work.Cancel);
    });
    if (!compared) {
        outcome.End = SaveEnd::Stopped;
        return std::nullopt;
    }
    const OverwriteAsk ask = [this, &outcome](const OverwriteQuestion& question) {
        return m_seams.AskOverwrite ? m_seams.AskOverwrite(outcome.Folder, question)
                                    : AskOverwrite(this, outcome.Folder, question);
    };
    ResolvedSave resolved = ResolveExisting(folder, items, existing, ask);
    if (resolved.Cancelled) {
        outcome.End = SaveEnd::Cancelled;
        return std::nullopt;
    }
    outcome.Written = resolved.Identical;
    outcome.Replaced = resolved.Replaced;
    outcome.KeptExisting = resolved.Skipped;
    outcome.KeptBoth = resolved.KeptBoth;
    return std::move(resolved.Write);
}

void TForm1::WriteInBackground(int64_t total, const std::function<int64_t(const ExtractItem& item)>& weightOf,
                               const BackgroundSave& save, SaveOutcome& outcome)
{
    const int32_t already = outcome.Written;
    std::atomic<int32_t> written{0};
    std::atomic<bool> stopped{false};
    m_scan.RunInBackground(*m_progressBar, [&](BackgroundWork& work) {
        work.Total = total;
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem& item, std::size_t count) {
            written = static_cast<int32_t>(count);
            work.Done += weightOf(item);
            if (work.Cancel && work.Done < work.Total)
                throw SaveStoppedByUser{};
        };
        hooks.Failed = GoOnPastKeptImage;
        // Passing over a file is a step of the gauge too, and a stop ends the save there.
        const auto passedOver = [&work] {
            if (work.Cancel)
                throw SaveStoppedByUser{};
            ++work.Done;
        };
        try {
            save(work, hooks, passedOver);
        } catch (const SaveStoppedByUser&) {
            stopped = true;
        }
    });
    outcome.Written = already + written;
    if (stopped)
        outcome.End = SaveEnd::Stopped;
}

void TForm1::WriteOurItems(const std::vector<ExtractItem>& items, const ItemRangeFunction& rangeOf,
                           SaveOutcome& outcome)
{
    const std::span<const uint8_t> image = m_hex1.Bytes();
    const auto bytesOf = [&](const ExtractItem& item) -> std::optional<std::span<const uint8_t>> {
        const ItemRange range = rangeOf(item);
        if (range.Start < 0 || range.Count() < 0 ||
            static_cast<std::size_t>(range.Start) + static_cast<std::size_t>(range.Count()) > image.size())
            return std::nullopt;
        return image.subspan(static_cast<std::size_t>(range.Start), static_cast<std::size_t>(range.Count()));
    };
    const std::optional<std::vector<ExtractItem>> write = ResolveOurItems(items, bytesOf, outcome);
    if (!write)
        return;
    const std::string folder = QFile::encodeName(outcome.Folder).toStdString();
    const auto weightOf = [&rangeOf](const ExtractItem& item) { return int64_t{std::max(1, rangeOf(item).Count())}; };
    int64_t total = 0;
    for (const ExtractItem& item : *write)
        total += weightOf(item);
    SaveReport report;
    WriteInBackground(
        total, weightOf,
        [&](BackgroundWork&, const SaveHooks& hooks, const std::function<void()>&) {
            report = SaveToFolder(m_hex1, folder, *write, rangeOf, hooks);
        },
        outcome);
    if (report.FirstFailure)
        std::rethrow_exception(report.FirstFailure);
}

void TForm1::SaveWavFiles(const std::vector<FoundItem>& found, const std::vector<ExtractItem>& wavFiles,
                          SaveOutcome& outcome)
{
    // A WAV file's bytes are known only once its sound is decoded: every file
    // of that name is a question.
    const std::optional<std::vector<ExtractItem>> write = ResolveOurItems(
        wavFiles, [](const ExtractItem&) { return std::nullopt; }, outcome);
    if (!write)
        return;
    const std::string folder = QFile::encodeName(outcome.Folder).toStdString();
    std::atomic<int32_t> skipped{0};
    WriteInBackground(
        static_cast<int64_t>(write->size()), [](const ExtractItem&) { return int64_t{1}; },
        [&](BackgroundWork& work, const SaveHooks& hooks, const std::function<void()>& passedOver) {
            int64_t wavLeft = WavBudgetOf(m_hex1.Bytes().size());
            const WavStreamer toWav = [&work, &wavLeft](ItemType type, std::span<const uint8_t> sound, Stream& out,
                                                        std::string& why) {
                return SoundToWav(type, sound, out, wavLeft, why, &work.Cancel);
            };
            StreamSoundsAsWav(m_hex1, found, *write, folder, toWav, hooks, [&](const ExtractItem&, const std::string&) {
                passedOver();
                ++skipped;
            });
        },
        outcome);
    outcome.Skipped += skipped;
}

void TForm1::SaveRows(bool selectedOnly)
{
    const auto show = [this](const SaveOutcome& outcome) { ShowSaveSummary(outcome); };
    if (ContentPage* page = ContentPageAt(ActivePage())) {
        SaveWithSummary(
            SkipReason::NoEndAddress,
            [this, page, selectedOnly](SaveOutcome& outcome) { SaveContent(*page, selectedOnly, false, outcome); },
            show);
        return;
    }
    const auto kind = ListOfPage(ActivePage());
    SaveWithSummary(
        kind == ListKind::Files ? SkipReason::NoEndAddress : SkipReason::NoName,
        [this, kind, selectedOnly](SaveOutcome& outcome) {
            if (kind)
                SaveList(*kind, selectedOnly, outcome);
            else
                outcome.End = SaveEnd::NoList;
        },
        show);
}

void TForm1::ShowSaveSummary(const SaveOutcome& outcome)
{
    m_saveResult->SetMessage(SaveSummary(outcome), QDir::toNativeSeparators(outcome.Folder));
}

void TForm1::SaveList(ListKind kind, bool selectedOnly, SaveOutcome& outcome)
{
    const bool ours = kind == ListKind::Pictures;
    const bool showGauge = TraitsOf(kind).SaveShowsProgress;
    const RowTextFunction text = RowTextOf(kind);
    const ItemRangeFunction rangeOf = RangeOfListRow(kind);
    SaveSteps steps;
    steps.Plan = [&](const std::vector<bool>& keep) { return PlanExtraction(kind, ListRowCount(kind), text, keep); };
    if (showGauge)
        steps.Ready = [this](const std::vector<ExtractItem>& items) {
            m_progressBar->SetMin(0);
            m_progressBar->SetMax(static_cast<int32_t>(items.size()));
            m_progressBar->SetPosition(0);
            m_progressBar->show();
        };
    steps.ChooseTarget = [this] { return ChooseSaveTarget(); };
    steps.Write = [&](const std::vector<ExtractItem>& items, SaveOutcome& written) -> std::exception_ptr {
        if (ours) {
            WriteOurItems(items, rangeOf, written);
            return nullptr;
        }
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem&, std::size_t count) {
            written.Written = static_cast<int32_t>(count);
            if (showGauge) {
                m_progressBar->SetPosition(written.Written);
                // No events are processed while saving; show the step now.
                m_progressBar->repaint();
            }
        };
        hooks.Failed = GoOnPastKeptImage;
        return SaveToFolder(m_hex1, QFile::encodeName(written.Folder).toStdString(), items, rangeOf, hooks)
            .FirstFailure;
    };
    if (showGauge || ours)
        steps.Finish = [this] { m_progressBar->hide(); };
    SaveRowsTo(RowsToSaveOf(kind), selectedOnly, ours ? SavePages::Ours : SavePages::Design, steps, outcome);
}

std::size_t TForm1::ListRowCount(ListKind kind) const
{
    return kind == ListKind::Pictures ? PictureRows().size() : ListView(kind).Model().RowCount();
}

RowTextFunction TForm1::RowTextOf(ListKind kind) const
{
    if (kind == ListKind::Pictures)
        return [this](std::size_t i) { return AllPicturesRowText(PictureRows()[i], i); };
    const ResultListModel& rows = ListView(kind).Model();
    return [&rows](std::size_t i) { return rows.Row(i); };
}

ItemRangeFunction TForm1::RangeOfListRow(ListKind kind) const
{
    if (kind == ListKind::Pictures)
        return [this](const ExtractItem& item) {
            const FoundItem& picture = PictureRows()[static_cast<std::size_t>(item.Row)];
            return ItemRange{picture.Start, picture.End};
        };
    const ResultListModel& rows = ListView(kind).Model();
    return [&rows](const ExtractItem& item) {
        const auto index = static_cast<std::size_t>(item.Row);
        const FoundRows* found = rows.Found();
        return found != nullptr ? RangeOfRow(*found, index, [&rows](std::size_t i) { return rows.Row(i); })
                                : RangeOfCells(rows.Row(index));
    };
}

RowsToSave TForm1::RowsToSaveOf(ListKind kind) const
{
    RowsToSave rows;
    if (kind == ListKind::Pictures) {
        const std::size_t count = PictureRows().size();
        rows.Count = count;
        const std::vector<int32_t> selected = m_allPictures->SelectedRows();
        rows.Selected = FlagsOfRows(count, selected);
        rows.SelCount = selected.size();
        if (m_allPictures->Filtering()) {
            rows.Filtered = true;
            const std::vector<int32_t> shown = m_allPictures->ShownRows();
            rows.Shown = FlagsOfRows(count, shown);
            rows.ShownCount = shown.size();
        }
        return rows;
    }
    const ResultListView& list = ListView(kind);
    rows.Count = list.Model().RowCount();
    rows.Selected = list.SelectedFlags();
    rows.SelCount = static_cast<std::size_t>(list.SelCount());
    return rows;
}

}  // namespace kestrix
