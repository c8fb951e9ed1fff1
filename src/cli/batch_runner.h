#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace kestrix {

// What one image's run printed, in the order it printed it, and how it ended.
struct ImageOutcome {
    struct Piece {
        bool ToErr = false;  // written to err, else to out
        std::string Text;
    };
    int Status = 0;
    std::vector<Piece> Pieces;
};

// Runs one image: writes its results to out and its messages to err, returns an
// exit status (0 success).
using ImageRun = std::function<int(std::size_t index, const std::string& image, std::ostream& out, std::ostream& err)>;

// Runs run over every image with at most jobs (>= 1) runs at once, so that at most
// jobs images are in memory. With one run at a time each image writes straight to
// out and err; with more, each run's output is held until every earlier image's
// output has been written, so out and err receive the images in the order given,
// and each image's lines of out and err in the order it wrote them (out is
// flushed before err is written). A run that throws counts as failed, with its
// message on err.
// Returns the highest status of all runs (0 when every run succeeded).
// Workers are started by start (std::thread when empty), at most UsefulWorkers
// of them; when the system refuses one (std::system_error), the workers
// started so far do the work, and with none the images run one at a time on
// the calling thread.
using WorkerStarter = std::function<std::thread(std::function<void()> work)>;
int RunImagesInOrder(const std::vector<std::string>& images, int jobs, const ImageRun& run, std::ostream& out,
                     std::ostream& err, const WorkerStarter& start = {});

// How many workers a run of images images with --jobs jobs starts on a
// machine of cores cores (0: unknown): no more than jobs, than images, or than
// twice the cores (at least 2), since more only add threads and memory.
std::size_t UsefulWorkers(int jobs, std::size_t images, unsigned cores);

// Folder names for images extracted side by side into one folder: each image's
// file name, with " (2)", " (3)", … added where two images share a file name,
// and a leading "_" before a name that starts with "." so that no folder is
// hidden. Linear in the number of images.
std::vector<std::string> ImageFolderNames(const std::vector<std::string>& images);

}  // namespace kestrix
