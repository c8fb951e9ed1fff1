#pragma once

#include <QString>

#include <cstdint>

namespace kestrix {

// How a Save or Save all ended.
enum class SaveEnd {
    Written,      // every planned file was written (possibly none)
    Failed,       // an error stopped it after Written files
    Cancelled,    // the save dialog was cancelled
    NoSelection,  // Save with no row selected
    EmptyList,    // the page's list has no rows
    NoList,       // a page without a list to save
    NoneShown,    // Save all while the filter hides every row
    Stopped,      // the user stopped it after Written files
};

// Which rows a save of one of our own lists considered; the design's lists
// always say All.
enum class SaveScope {
    All,       // every row of the list
    Selected,  // the selected rows
    Shown,     // the rows the filter shows
};

// Why rows of a save were passed over: the files page writes only rows with
// an end address, the graphics page only rows with a name; a save as WAV
// passes over the sounds that do not decode.
enum class SkipReason { NoEndAddress, NoName, NotPlayable };

// What one save did.
struct SaveOutcome {
    SaveEnd End = SaveEnd::Written;
    int32_t Written = 0;
    // Rows the save considered (the selected ones, or all for Save all) but
    // did not write, and why.
    int32_t Skipped = 0;
    SkipReason Reason = SkipReason::NoEndAddress;
    // The folder the files went into, as shown to the user.
    QString Folder;
    // Which rows were considered, and how many.
    SaveScope Scope = SaveScope::All;
    int32_t Considered = 0;
    // Of the files that were in the folder with other bytes: how many were
    // replaced, kept by passing their item over, or kept beside a new name.
    int32_t Replaced = 0;
    int32_t KeptExisting = 0;
    int32_t KeptBoth = 0;
};

// n and the Russian noun form that goes with it: one for 1, 21, 101...;
// few for 2-4, 22-24...; many for 0, 5-20, 25-30, 111-114...
// ("1 файл", "3 файла", "11 файлов").
QString RussianCount(int32_t n, const QString& one, const QString& few, const QString& many);

// The status bar's account of a save, for example "Сохранено 774 файла в
// /home/user/pictures; пропущена 1 строка без конечного адреса"; a save of
// some rows says which: "Сохранено 3 файла из 4 показанных фильтром в ..." or
// "... из 3 выбранных в ...". A save that wrote nothing says why; a cancelled
// one gives an empty text.
QString SaveSummary(const SaveOutcome& outcome);

}  // namespace kestrix
