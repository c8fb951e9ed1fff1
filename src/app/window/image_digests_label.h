#pragma once

#include "digest.h"

#include <QLabel>

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <thread>

namespace kestrix {

// The open image's SHA-256 and MD5 in Russian, under the information table:
// computed on a thread of their own once per load, so that the window goes
// on answering, and shown when done.
class ImageDigestsLabel : public QLabel {
    Q_OBJECT
public:
    explicit ImageDigestsLabel(QWidget* parent = nullptr);
    ~ImageDigestsLabel() override;

    // Ends a digest still running and starts digesting image, which must stay
    // as it is until Stop() (or the next Start()); the text says it is counting.
    void Start(std::span<const uint8_t> image);
    // Ends the running digest, if any, waiting for its thread; clears the text.
    void Stop();
    // The digests shown; none while counting or without an image.
    const std::optional<ImageDigests>& Digests() const noexcept { return m_digests; }

signals:
    // The digests of the last image started are shown.
    void Ready();

private:
    void Show(uint64_t generation, const ImageDigests& digests);

    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    uint64_t m_generation = 0;
    std::optional<ImageDigests> m_digests;
};

}  // namespace kestrix
