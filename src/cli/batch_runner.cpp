#include "batch_runner.h"

#include "terminal_text.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <streambuf>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace kestrix {
namespace {

// Runs one image, turning what escapes it into a message and a failure.
int RunGuarded(const ImageRun& run, std::size_t index, const std::string& image, std::ostream& out, std::ostream& err)
{
    try {
        return run(index, image, out, err);
    } catch (const std::bad_alloc&) {
        out.flush();
        err << "kestrix-cli: Out of memory\n";
    } catch (const std::exception& e) {
        out.flush();
        err << "kestrix-cli: " << TerminalText(e.what()) << '\n';
    }
    return 1;
}

// A stream buffer that adds what is written to the pieces of an outcome, so that
// the order of out and err is kept.
class PieceBuffer : public std::streambuf {
public:
    PieceBuffer(ImageOutcome& outcome, bool toErr) : m_outcome(outcome), m_toErr(toErr) {}

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        Piece().append(text, static_cast<std::size_t>(count));
        return count;
    }
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            Piece().push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }

private:
    std::string& Piece()
    {
        auto& pieces = m_outcome.Pieces;
        if (pieces.empty() || pieces.back().ToErr != m_toErr)
            pieces.push_back({m_toErr, {}});
        return pieces.back().Text;
    }

    ImageOutcome& m_outcome;
    bool m_toErr;
};

ImageOutcome RunHeld(const ImageRun& run, std::size_t index, const std::string& image)
{
    ImageOutcome outcome;
    PieceBuffer outBuffer(outcome, false);
    PieceBuffer errBuffer(outcome, true);
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    outcome.Status = RunGuarded(run, index, image, out, err);
    return outcome;
}

}  // namespace

std::size_t UsefulWorkers(int jobs, std::size_t images, unsigned cores)
{
    const std::size_t useful = std::max<std::size_t>(2, 2 * static_cast<std::size_t>(cores));
    return std::min({static_cast<std::size_t>(std::max(jobs, 1)), images, useful});
}

std::thread StartThread(std::function<void()> work)
{
    return std::thread(std::move(work));
}

int RunImagesInOrder(const std::vector<std::string>& images, int jobs, const ImageRun& run, std::ostream& out,
                     std::ostream& err, const WorkerStarter& start)
{
    const std::size_t workers = UsefulWorkers(jobs, images.size(), std::thread::hardware_concurrency());
    std::vector<std::optional<ImageOutcome>> outcomes(images.size());
    std::mutex mutex;
    std::condition_variable done;
    std::size_t next = 0;

    auto work = [&] {
        for (;;) {
            std::size_t index;
            {
                std::lock_guard lock(mutex);
                if (next == images.size())
                    return;
                index = next++;
            }
            ImageOutcome outcome = RunHeld(run, index, images[index]);
            std::lock_guard lock(mutex);
            outcomes[index] = std::move(outcome);
            done.notify_one();
        }
    };

    int status = 0;
    auto print = [&](const ImageOutcome& outcome) {
        for (const ImageOutcome::Piece& piece : outcome.Pieces) {
            if (piece.ToErr) {
                err << piece.Text;
            } else {
                out << piece.Text;
                out.flush();
            }
        }
        status = std::max(status, outcome.Status);
    };
    // The workers take images from one queue, so a system that refuses a
    // thread (no memory for its stack) leaves fewer workers doing the same work.
    std::vector<std::thread> threads;
    for (std::size_t k = 0; workers > 1 && k < workers; ++k) {
        try {
            threads.push_back(start ? start(work) : StartThread(work));
        } catch (const std::system_error&) {
            break;
        }
    }
    // One at a time, each image writes straight through: a long list is never held whole.
    if (threads.empty()) {
        for (std::size_t index = 0; index < images.size(); ++index) {
            status = std::max(status, RunGuarded(run, index, images[index], out, err));
            out.flush();
        }
        return status;
    }

    for (std::size_t index = 0; index < images.size(); ++index) {
        ImageOutcome outcome;
        {
            std::unique_lock lock(mutex);
            done.wait(lock, [&] { return outcomes[index].has_value(); });
            outcome = std::move(*outcomes[index]);
            outcomes[index].reset();
        }
        print(outcome);
    }
    for (std::thread& thread : threads)
        thread.join();
    return status;
}

std::vector<std::string> ImageFolderNames(const std::vector<std::string>& images)
{
    std::vector<std::string> names;
    names.reserve(images.size());
    std::unordered_set<std::string> taken;
    // Per file name, the number its next copy tries first, so that many images
    // of one name cost one try each.
    std::unordered_map<std::string, int> nextNumber;
    for (const std::string& image : images) {
        std::string base = image;
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        if (const auto slash = base.rfind('/'); slash != std::string::npos)
            base.erase(0, slash + 1);
        if (base.empty() || base == "." || base == ".." || base == "/")
            base = "image";
        // Nothing written is hidden: an image ".x" (or ".kestrix-…") goes into "_.x".
        if (base.front() == '.')
            base.insert(0, 1, '_');
        std::string name = base;
        if (!taken.insert(name).second) {
            int& n = nextNumber.try_emplace(base, 2).first->second;
            do
                name = base + " (" + std::to_string(n++) + ")";
            while (!taken.insert(name).second);
        }
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace kestrix
