#include "batch_runner.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

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
        err << "kestrix-cli: " << e.what() << '\n';
    }
    return 1;
}

ImageOutcome RunHeld(const ImageRun& run, std::size_t index, const std::string& image)
{
    std::ostringstream out;
    std::ostringstream err;
    ImageOutcome outcome;
    outcome.status = RunGuarded(run, index, image, out, err);
    outcome.out = std::move(out).str();
    outcome.err = std::move(err).str();
    return outcome;
}

}  // namespace

int RunImagesInOrder(const std::vector<std::string>& images, int jobs, const ImageRun& run, std::ostream& out,
                     std::ostream& err)
{
    const std::size_t workers = std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), images.size());
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
        err << outcome.err;
        out << outcome.out;
        out.flush();
        status = std::max(status, outcome.status);
    };
    // One at a time, each image writes straight through: a long list is never held whole.
    if (workers <= 1) {
        for (std::size_t index = 0; index < images.size(); ++index) {
            status = std::max(status, RunGuarded(run, index, images[index], out, err));
            out.flush();
        }
        return status;
    }

    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < workers; ++k)
        threads.emplace_back(work);
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
    std::set<std::string> taken;
    for (const std::string& image : images) {
        std::string base = image;
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        if (const auto slash = base.rfind('/'); slash != std::string::npos)
            base.erase(0, slash + 1);
        if (base.empty() || base == "." || base == ".." || base == "/")
            base = "image";
        std::string name = base;
        for (int n = 2; !taken.insert(name).second; ++n)
            name = base + " (" + std::to_string(n) + ")";
        names.push_back(name);
    }
    return names;
}

}  // namespace kestrix
