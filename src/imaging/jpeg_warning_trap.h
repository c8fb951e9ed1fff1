#pragma once

#include <mutex>

namespace kestrix {

// While it lives, catches the warnings of Qt's JPEG reader on this thread
// (libjpeg's "Corrupt JPEG data: premature end of data segment", "Premature
// end of JPEG file" and the like: the reader then fills the missing pixels
// itself and still reports success) instead of printing them. Every other
// message passes on to the message handler in place. Traps are serialised
// across threads, so keep one only around the reader's calls.
class JpegWarningTrap {
public:
    JpegWarningTrap();
    ~JpegWarningTrap();
    JpegWarningTrap(const JpegWarningTrap&) = delete;
    JpegWarningTrap& operator=(const JpegWarningTrap&) = delete;

    // True once the JPEG reader has warned.
    bool Warned() const noexcept { return m_warned; }

private:
    std::unique_lock<std::mutex> m_lock;
    bool m_warned = false;
};

}  // namespace kestrix
