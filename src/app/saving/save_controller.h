#pragma once

#include "extraction.h"
#include "found_rows.h"
#include "save_summary.h"

#include <QString>

#include <cstddef>
#include <exception>
#include <functional>
#include <vector>

namespace kestrix {

// The rows of a page a save reads: how many, which are selected, and which
// the filter shows. The flags are in the index space the plan reads (a
// list's rows, or a content page's items).
struct RowsToSave {
    std::size_t Count = 0;
    std::vector<bool> Selected;
    std::size_t SelCount = 0;
    // Our own pages: which rows the filter shows (Filtered false when it
    // hides none).
    bool Filtered = false;
    std::vector<bool> Shown;
    std::size_t ShownCount = 0;
};

// Which pages a save serves: the design's keep their exact steps; ours count
// the rows considered and show no dialog for a save that can write nothing.
enum class SavePages { Design, Ours };

// The front end's part of a save, step by step.
struct SaveSteps {
    // The files to write for the rows keep holds (one flag per row; empty:
    // all), each with its row.
    std::function<std::vector<ExtractItem>(const std::vector<bool>& keep)> Plan;
    // Before the dialog, with the planned files (the design's gauge); may be
    // empty.
    std::function<void(const std::vector<ExtractItem>& items)> Ready;
    // The file name chosen in the save dialog; empty when it was cancelled.
    std::function<QString()> ChooseTarget;
    // Writes items into outcome.Folder, filling in outcome; a failure it went
    // on past is returned to be raised once Finish has run.
    std::function<std::exception_ptr(const std::vector<ExtractItem>& items, SaveOutcome& outcome)> Write;
    // After the dialog was cancelled or the files were written; may be empty.
    std::function<void()> Finish;
};

// The one way from rows to a save's outcome:
//   - no rows: EmptyList; Save with none selected: NoSelection; Save all
//     while the filter hides every row: NoneShown;
//   - Save plans the selected rows, Save all the rows the filter shows (all
//     when it hides none); rows the plan passes over are Skipped;
//   - our pages set Scope and Considered, and end without a dialog when the
//     plan is empty (NoneShown under a filter, else EmptyList);
//   - Ready, the dialog (cancelled: Cancelled), Write into the chosen file's
//     folder, Finish; then the failure Write returned is raised.
// What the steps raise goes through; outcome holds what was done until then.
void SaveRowsTo(const RowsToSave& rows, bool selectedOnly, SavePages pages, const SaveSteps& steps,
                SaveOutcome& outcome);

// Runs save with a fresh outcome (its Reason set to reason) and shows its
// summary through show, also when save raises: the outcome then ends Failed
// and the failure is raised again.
void SaveWithSummary(SkipReason reason, const std::function<void(SaveOutcome& outcome)>& save,
                     const std::function<void(const SaveOutcome& outcome)>& show);

// The range of row index of a scan's list, read from the row: its start and
// end. A row without an end is read from its text as the list shows it
// (RangeOfCells), whose error a save then reports.
ItemRange RangeOfRow(const FoundRows& rows, std::size_t index, const RowTextFunction& text);

}  // namespace kestrix
