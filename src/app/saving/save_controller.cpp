#include "save_controller.h"

#include <QFileInfo>

namespace kestrix {

void SaveRowsTo(const RowsToSave& rows, bool selectedOnly, SavePages pages, const SaveSteps& steps,
                SaveOutcome& outcome)
{
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
    const std::vector<ExtractItem> items =
        steps.Plan(selectedOnly ? rows.Selected : (shownOnly ? rows.Shown : std::vector<bool>{}));
    const std::size_t considered = selectedOnly ? rows.SelCount : (shownOnly ? rows.ShownCount : rows.Count);
    outcome.Skipped = static_cast<int32_t>(considered - std::min(considered, items.size()));
    if (pages == SavePages::Ours) {
        outcome.Scope = selectedOnly ? SaveScope::Selected : (shownOnly ? SaveScope::Shown : SaveScope::All);
        outcome.Considered = static_cast<int32_t>(considered);
        if (items.empty()) {
            outcome.End = shownOnly ? SaveEnd::NoneShown : SaveEnd::EmptyList;
            return;
        }
    }
    if (steps.Ready)
        steps.Ready(items);
    const QString target = steps.ChooseTarget();
    std::exception_ptr failure;
    if (target.isEmpty()) {
        outcome.End = SaveEnd::Cancelled;
    } else {
        outcome.Folder = QFileInfo(target).path();
        failure = steps.Write(items, outcome);
    }
    if (steps.Finish)
        steps.Finish();
    if (failure)
        std::rethrow_exception(failure);
}

void SaveWithSummary(SkipReason reason, const std::function<void(SaveOutcome& outcome)>& save,
                     const std::function<void(const SaveOutcome& outcome)>& show)
{
    SaveOutcome outcome;
    outcome.Reason = reason;
    try {
        save(outcome);
    } catch (...) {
        outcome.End = SaveEnd::Failed;
        show(outcome);
        throw;
    }
    show(outcome);
}

ItemRange RangeOfRow(const FoundRows& rows, std::size_t index, const RowTextFunction& text)
{
    const FoundRow& row = rows[index];
    return row.HasEnd() ? ItemRange{row.Start, row.End} : RangeOfCells(text(index));
}

}  // namespace kestrix
