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
        SaveOutcome outcome;
        try {
            SaveContent(*m_sounds, selectedOnly, true, outcome);
        } catch (...) {
            outcome.End = SaveEnd::Failed;
            ShowSaveSummary(outcome);
            throw;
        }
        ShowSaveSummary(outcome);
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

void TForm1::SaveContent(ContentPage& page, bool selectedOnly, bool wav, SaveOutcome& outcome)
{
    const ContentResults* results = page.Results();
    if (results == nullptr || page.RowCount() == 0 || (selectedOnly && page.SelectedCount() == 0)) {
        outcome.End = results == nullptr || page.RowCount() == 0 ? SaveEnd::EmptyList : SaveEnd::NoSelection;
        return;
    }
    // "Сохранить все" saves what the filter shows.
    const std::vector<ExtractItem> plan = PlanContentExtraction(
        results->Found.Items, results->Captions, page.Kind(), selectedOnly ? page.SelectedItems() : page.ShownItems());
    const bool shownOnly = !selectedOnly && page.ShownCount() < page.RowCount();
    outcome.Scope = selectedOnly ? SaveScope::Selected : (shownOnly ? SaveScope::Shown : SaveScope::All);
    outcome.Considered = selectedOnly ? page.SelectedCount() : page.ShownCount();
    if (plan.empty()) {
        outcome.End = shownOnly ? SaveEnd::NoneShown : SaveEnd::EmptyList;
        return;
    }
    const QString target = m_seams.SaveFile ? m_seams.SaveFile(m_saveDialog1) : ExecuteSaveDialog(this, m_saveDialog1);
    if (target.isEmpty()) {
        outcome.End = SaveEnd::Cancelled;
        return;
    }
    m_saveDialog1.FileName = target;
    outcome.Folder = QFileInfo(target).path();
    if (wav) {
        outcome.Reason = SkipReason::NotPlayable;
        SaveWavFiles(results->Found.Items, PlanWavFiles(plan), outcome);
        return;
    }
    WriteOurItems(
        plan,
        [results](const ExtractItem& item) {
            const FoundItem& found = results->Found.Items[static_cast<std::size_t>(item.Row)];
            return ItemRange{found.Start, found.End};
        },
        outcome);
}

namespace {

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
    const int32_t already = outcome.Written;
    std::atomic<int32_t> written{0};
    std::atomic<bool> stopped{false};
    SaveReport report;
    m_scan.RunInBackground(*m_progressBar, [&](BackgroundWork& work) {
        int64_t total = 0;
        for (const ExtractItem& item : *write)
            total += std::max(1, rangeOf(item).Count());
        work.Total = total;
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem& item, std::size_t count) {
            written = static_cast<int32_t>(count);
            work.Done += std::max(1, rangeOf(item).Count());
            if (work.Cancel && count < write->size())
                throw SaveStoppedByUser{};
        };
        hooks.Failed = GoOnPastKeptImage;
        try {
            report = SaveToFolder(m_hex1, folder, *write, rangeOf, hooks);
        } catch (const SaveStoppedByUser&) {
            stopped = true;
        }
    });
    outcome.Written = already + written;
    if (stopped)
        outcome.End = SaveEnd::Stopped;
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
    const int32_t already = outcome.Written;
    std::atomic<int32_t> written{0};
    std::atomic<int32_t> skipped{0};
    std::atomic<bool> stopped{false};
    m_scan.RunInBackground(*m_progressBar, [&](BackgroundWork& work) {
        work.Total = static_cast<int64_t>(write->size());
        int64_t wavLeft = WavBudgetOf(m_hex1.Bytes().size());
        const WavStreamer toWav = [&work, &wavLeft](ItemType type, std::span<const uint8_t> sound, Stream& out,
                                                    std::string& why) {
            return SoundToWav(type, sound, out, wavLeft, why, &work.Cancel);
        };
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem&, std::size_t count) {
            written = static_cast<int32_t>(count);
            ++work.Done;
            if (work.Cancel && work.Done < work.Total)
                throw SaveStoppedByUser{};
        };
        hooks.Failed = GoOnPastKeptImage;
        const auto passedOver = [&](const ExtractItem&, const std::string&) {
            if (work.Cancel)
                throw SaveStoppedByUser{};
            ++skipped;
            ++work.Done;
        };
        try {
            StreamSoundsAsWav(m_hex1, found, *write, folder, toWav, hooks, passedOver);
        } catch (const SaveStoppedByUser&) {
            stopped = true;
        }
    });
    outcome.Written = already + written;
    outcome.Skipped += skipped;
    if (stopped)
        outcome.End = SaveEnd::Stopped;
}

void TForm1::SaveRows(bool selectedOnly)
{
    if (ContentPage* page = ContentPageAt(ActivePage())) {
        SaveOutcome outcome;
        try {
            SaveContent(*page, selectedOnly, false, outcome);
        } catch (...) {
            outcome.End = SaveEnd::Failed;
            ShowSaveSummary(outcome);
            throw;
        }
        ShowSaveSummary(outcome);
        return;
    }
    const auto kind = ListOfPage(ActivePage());
    SaveOutcome outcome;
    outcome.Reason = kind == ListKind::Files ? SkipReason::NoEndAddress : SkipReason::NoName;
    try {
        if (kind)
            SaveList(*kind, selectedOnly, outcome);
        else
            outcome.End = SaveEnd::NoList;
    } catch (...) {
        outcome.End = SaveEnd::Failed;
        ShowSaveSummary(outcome);
        throw;
    }
    ShowSaveSummary(outcome);
}

void TForm1::ShowSaveSummary(const SaveOutcome& outcome)
{
    m_saveResult->SetMessage(SaveSummary(outcome), QDir::toNativeSeparators(outcome.Folder));
}

void TForm1::SaveList(ListKind kind, bool selectedOnly, SaveOutcome& outcome)
{
    const ListTraits& traits = TraitsOf(kind);
    const SaveSource rows = SaveSourceOf(kind);
    if (rows.Count == 0 || (selectedOnly && rows.SelCount == 0)) {
        outcome.End = rows.Count == 0 ? SaveEnd::EmptyList : SaveEnd::NoSelection;
        return;
    }
    // Save all of a filtered list saves what the filter shows.
    const bool shownOnly = !selectedOnly && rows.Filtered;
    if (shownOnly && rows.ShownCount == 0) {
        outcome.End = SaveEnd::NoneShown;
        return;
    }
    const std::vector<ExtractItem> items = PlanExtraction(
        kind, rows.Count, rows.Text, selectedOnly ? rows.Selected : (shownOnly ? rows.Shown : std::vector<bool>{}));
    const std::size_t considered = selectedOnly ? rows.SelCount : (shownOnly ? rows.ShownCount : rows.Count);
    if (kind == ListKind::Pictures) {
        outcome.Scope = selectedOnly ? SaveScope::Selected : (shownOnly ? SaveScope::Shown : SaveScope::All);
        outcome.Considered = static_cast<int32_t>(considered);
    }
    outcome.Skipped = static_cast<int32_t>(considered - items.size());
    if (kind == ListKind::Pictures && items.empty()) {
        // On our page the dialog is not shown for a save that can write nothing.
        outcome.End = shownOnly ? SaveEnd::NoneShown : SaveEnd::EmptyList;
        return;
    }
    const bool showGauge = traits.SaveShowsProgress;
    if (showGauge) {
        m_progressBar->SetMin(0);
        m_progressBar->SetMax(static_cast<int32_t>(items.size()));
        m_progressBar->SetPosition(0);
        m_progressBar->show();
    }
    const QString target = m_seams.SaveFile ? m_seams.SaveFile(m_saveDialog1) : ExecuteSaveDialog(this, m_saveDialog1);
    const auto rangeOf = [&rows](const ExtractItem& item) {
        return RangeOfCells(rows.Text(static_cast<std::size_t>(item.Row)));
    };
    if (!target.isEmpty() && kind == ListKind::Pictures) {
        m_saveDialog1.FileName = target;
        outcome.Folder = QFileInfo(target).path();
        WriteOurItems(items, rangeOf, outcome);
        m_progressBar->hide();
        return;
    }
    SaveReport report;
    if (!target.isEmpty()) {
        m_saveDialog1.FileName = target;
        outcome.Folder = QFileInfo(target).path();
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem&, std::size_t written) {
            outcome.Written = static_cast<int32_t>(written);
            if (showGauge) {
                m_progressBar->SetPosition(outcome.Written);
                // No events are processed while saving; show the step now.
                m_progressBar->repaint();
            }
        };
        hooks.Failed = GoOnPastKeptImage;
        report = SaveToFolder(m_hex1, QFile::encodeName(outcome.Folder).toStdString(), items, rangeOf, hooks);
    } else {
        outcome.End = SaveEnd::Cancelled;
    }
    if (showGauge)
        m_progressBar->hide();
    if (report.FirstFailure)
        std::rethrow_exception(report.FirstFailure);
}

TForm1::SaveSource TForm1::SaveSourceOf(ListKind kind) const
{
    if (kind == ListKind::Pictures) {
        const std::vector<FoundItem>& pictures = PictureRows();
        std::vector<bool> selected(pictures.size(), false);
        const std::vector<int32_t> rows = m_allPictures->SelectedRows();
        for (const int32_t row : rows)
            selected[static_cast<std::size_t>(row)] = true;
        SaveSource source;
        source.Count = pictures.size();
        source.Text = [&pictures](std::size_t i) { return AllPicturesRowText(pictures[i], i); };
        source.Selected = std::move(selected);
        source.SelCount = rows.size();
        if (m_allPictures->Filtering()) {
            source.Filtered = true;
            source.Shown.assign(pictures.size(), false);
            const std::vector<int32_t> shown = m_allPictures->ShownRows();
            for (const int32_t row : shown)
                source.Shown[static_cast<std::size_t>(row)] = true;
            source.ShownCount = shown.size();
        }
        return source;
    }
    const ResultListView& list = ListView(kind);
    const ResultListModel& rows = list.Model();
    SaveSource source;
    source.Count = rows.RowCount();
    source.Text = [&rows](std::size_t i) { return rows.Row(i); };
    source.Selected = list.SelectedFlags();
    source.SelCount = static_cast<std::size_t>(list.SelCount());
    return source;
}

}  // namespace kestrix
