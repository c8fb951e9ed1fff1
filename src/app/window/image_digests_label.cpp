#include "image_digests_label.h"

#include <QMetaObject>

#include <system_error>

namespace kestrix {

ImageDigestsLabel::ImageDigestsLabel(QWidget* parent) : QLabel(parent)
{
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setObjectName(QStringLiteral("ImageDigests"));
}

ImageDigestsLabel::~ImageDigestsLabel()
{
    Stop();
}

void ImageDigestsLabel::Start(std::span<const uint8_t> image)
{
    Stop();
    const uint64_t generation = m_generation;
    setText(QStringLiteral("SHA-256 и MD5 образа считаются…"));
    const auto digest = [this, image, generation] {
        const std::optional<ImageDigests> digests = DigestImage(image, &m_cancel);
        // Queued to the window's thread; dropped there when the label is gone
        // or another image came since.
        if (digests)
            QMetaObject::invokeMethod(
                this, [this, generation, digests] { Show(generation, *digests); }, Qt::QueuedConnection);
    };
    try {
        m_thread = std::thread(digest);
    } catch (const std::system_error&) {
        digest();
    }
}

void ImageDigestsLabel::Stop()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    m_cancel = false;
    ++m_generation;
    m_digests.reset();
    clear();
}

void ImageDigestsLabel::Show(uint64_t generation, const ImageDigests& digests)
{
    if (generation != m_generation)
        return;
    m_digests = digests;
    setText(QStringLiteral("SHA-256 образа: %1\nMD5 образа: %2")
                .arg(QString::fromLatin1(digests.Sha256.c_str()), QString::fromLatin1(digests.Md5.c_str())));
    emit Ready();
}

}  // namespace kestrix
