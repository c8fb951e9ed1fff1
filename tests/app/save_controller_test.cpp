// The one save path of the window, driven through its controller: which rows
// a save considers, when the dialog is shown, what the summary says, and the
// ranges read from the rows.
#include "error_of.h"
#include "save_controller.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace kestrix {
namespace {

std::vector<bool> Flags(std::initializer_list<int> on, std::size_t count)
{
    std::vector<bool> flags(count, false);
    for (const int i : on)
        flags[static_cast<std::size_t>(i)] = true;
    return flags;
}

// count rows, of which the selected flags are selected.
RowsToSave RowsOf(std::size_t count, std::initializer_list<int> selected = {})
{
    RowsToSave rows;
    rows.Count = count;
    rows.Selected = Flags(selected, count);
    rows.SelCount = selected.size();
    return rows;
}

// What one save through the controller did.
struct SaveRun {
    SaveOutcome Outcome;
    int Dialogs = 0;
    bool Finished = false;
    std::vector<int32_t> Written;
};

// A save of rows where only even rows can be written; the dialog answers target.
SaveRun Save(const RowsToSave& rows, bool selectedOnly, SavePages pages, const QString& target = "/tmp/out/x.gif")
{
    SaveRun run;
    SaveSteps steps;
    steps.Plan = [&rows](const std::vector<bool>& keep) {
        std::vector<ExtractItem> items;
        for (std::size_t i = 0; i < rows.Count; ++i)
            if ((keep.empty() || keep[i]) && i % 2 == 0)
                items.push_back({static_cast<int32_t>(i), "row" + std::to_string(i)});
        return items;
    };
    steps.ChooseTarget = [&run, &target] {
        ++run.Dialogs;
        return target;
    };
    steps.Write = [&run](const std::vector<ExtractItem>& items, SaveOutcome& outcome) {
        for (const ExtractItem& item : items)
            run.Written.push_back(item.Row);
        outcome.Written = static_cast<int32_t>(items.size());
        return std::exception_ptr();
    };
    steps.Finish = [&run] { run.Finished = true; };
    SaveRowsTo(rows, selectedOnly, pages, steps, run.Outcome);
    return run;
}

TEST(SaveController, CountsTheRowsASaveConsidersAndAsksOnlyWhenThereIsSomethingToWrite)
{
    const RowsToSave four = RowsOf(4, {1, 2, 3});
    RowsToSave filtered = four;
    filtered.Filtered = true;
    filtered.Shown = Flags({0, 1}, 4);
    filtered.ShownCount = 2;
    RowsToSave hidden = filtered;
    hidden.Shown = Flags({}, 4);
    hidden.ShownCount = 0;
    const RowsToSave oddSelected = RowsOf(4, {1, 3});
    const struct {
        const char* Name;
        RowsToSave Rows;
        bool SelectedOnly;
        SavePages Pages;
        SaveEnd End;
        SaveScope Scope;
        int32_t Considered;
        int32_t Skipped;
        int Dialogs;
        std::vector<int32_t> Written;
    } cases[] = {
        {"empty list", {}, false, SavePages::Ours, SaveEnd::EmptyList, SaveScope::All, 0, 0, 0, {}},
        {"nothing selected", RowsOf(4), true, SavePages::Design, SaveEnd::NoSelection, SaveScope::All, 0, 0, 0, {}},
        {"design: all rows, no scope",
         four,
         false,
         SavePages::Design,
         SaveEnd::Written,
         SaveScope::All,
         0,
         2,
         1,
         {0, 2}},
        {"ours: selected", four, true, SavePages::Ours, SaveEnd::Written, SaveScope::Selected, 3, 2, 1, {2}},
        {"ours: what the filter shows",
         filtered,
         false,
         SavePages::Ours,
         SaveEnd::Written,
         SaveScope::Shown,
         2,
         1,
         1,
         {0}},
        {"ours: the filter hides all", hidden, false, SavePages::Ours, SaveEnd::NoneShown, SaveScope::All, 0, 0, 0, {}},
        {"ours: nothing to write, no dialog",
         oddSelected,
         true,
         SavePages::Ours,
         SaveEnd::EmptyList,
         SaveScope::Selected,
         2,
         2,
         0,
         {}},
        {"design: nothing to write, the dialog all the same",
         oddSelected,
         true,
         SavePages::Design,
         SaveEnd::Written,
         SaveScope::All,
         0,
         2,
         1,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const SaveRun run = Save(c.Rows, c.SelectedOnly, c.Pages);
        EXPECT_EQ(run.Outcome.End, c.End);
        EXPECT_EQ(run.Outcome.Scope, c.Scope);
        EXPECT_EQ(run.Outcome.Considered, c.Considered);
        EXPECT_EQ(run.Outcome.Skipped, c.Skipped);
        EXPECT_EQ(run.Dialogs, c.Dialogs);
        EXPECT_EQ(run.Written, c.Written);
        if (c.Dialogs > 0)
            EXPECT_EQ(run.Outcome.Folder, QStringLiteral("/tmp/out"));
    }
}

TEST(SaveController, ACancelledDialogWritesNothingAndFinishes)
{
    const SaveRun run = Save(RowsOf(2), false, SavePages::Design, QString());
    EXPECT_EQ(run.Outcome.End, SaveEnd::Cancelled);
    EXPECT_TRUE(run.Written.empty());
    EXPECT_TRUE(run.Finished);
    EXPECT_TRUE(SaveSummary(run.Outcome).isEmpty());
}

// A failure the save went on past is raised after Finish; the summary is shown
// once, ending Failed, with what was written before it.
TEST(SaveController, AFailureEndsTheSummaryAndIsRaisedAgain)
{
    SaveSteps steps;
    steps.Plan = [](const std::vector<bool>&) { return std::vector<ExtractItem>{{0, "a"}, {1, "b"}}; };
    steps.ChooseTarget = [] { return QStringLiteral("/tmp/out/a"); };
    steps.Write = [](const std::vector<ExtractItem>&, SaveOutcome& outcome) {
        outcome.Written = 1;
        return std::make_exception_ptr(std::runtime_error("disk full"));
    };
    bool finished = false;
    steps.Finish = [&finished] { finished = true; };
    std::vector<QString> shown;
    std::string error;
    try {
        SaveWithSummary(
            SkipReason::NoName,
            [&](SaveOutcome& outcome) { SaveRowsTo(RowsOf(2), false, SavePages::Design, steps, outcome); },
            [&shown](const SaveOutcome& outcome) { shown.push_back(SaveSummary(outcome)); });
    } catch (const std::runtime_error& e) {
        error = e.what();
    }
    EXPECT_EQ(error, "disk full");
    EXPECT_TRUE(finished);
    EXPECT_EQ(shown, std::vector<QString>{QStringLiteral("Сохранён 1 файл в /tmp/out; сохранение прервано ошибкой")});
}

// The range comes from the row's data, whatever its text shows; a row without
// an end is read from its text, whose error the save reports.
TEST(SaveController, RangesAreReadFromTheRows)
{
    FoundRows rows;
    rows.Append({.Size = 4, .Start = 10, .End = 20, .Type = ItemType::Gif});
    rows.Append({.Size = 4, .Start = 30, .End = FoundRow::kNoEnd, .Type = ItemType::Bmp});
    const RowTextFunction text = [](std::size_t) { return ResultRow{"x", {"gif", "1", "", "4"}, 0}; };
    const ItemRange range = RangeOfRow(rows, 0, text);
    EXPECT_EQ(range.Start, 10);
    EXPECT_EQ(range.End, 20);
    EXPECT_EQ(test_support::ErrorOf([&] { RangeOfRow(rows, 1, text); }),
              "EConvertError: '' is not a valid integer value");
}

}  // namespace
}  // namespace kestrix
