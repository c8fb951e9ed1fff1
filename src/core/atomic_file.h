#pragma once

#include "stream.h"

#include <string>

namespace kestrix {

// A file written whole or not at all. The bytes go into an unnamed file in the
// target's folder (O_TMPFILE), which gets its final name only in Commit(); an
// interruption of any kind, even SIGKILL, leaves no file behind. Where the file
// system has no unnamed files, a hidden temporary file ".kestrix-XXXXXX" takes
// their place and is renamed over the final name in Commit(); InstallInterruptCleanup
// removes it on the signals a program can catch.
class AtomicFile : public FileStream {
public:
    enum class Kind { Unnamed, Named };

    // Opens the file that will become path: an unnamed file where the system has
    // them (or, with Kind::Named, always the hidden temporary file). Raises
    // EFCreateError "Cannot create file "%s". %s" (path and the system's reason).
    explicit AtomicFile(std::string path, Kind kind = Kind::Unnamed);
    // Without Commit(), removes whatever was written.
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Gives the written file its final name, replacing an older file there.
    // Raises EWriteError when the data cannot be flushed, EFCreateError when the
    // name cannot be given.
    void Commit();

    const std::string& Path() const noexcept { return m_path; }
    // Whether the bytes go into an unnamed file (false: the hidden temporary file).
    bool Unnamed() const noexcept { return m_unnamed; }

private:
    struct Opened {
        int fd;
        std::string name;  // the temporary file's path; empty for an unnamed file
    };
    static Opened Open(const std::string& path, Kind kind);
    explicit AtomicFile(std::string path, Opened opened);
    // Links the unnamed file (source: its /proc path) in under a fresh hidden
    // name in the folder, kept in m_temporaryName.
    void LinkUnderTemporaryName(const std::string& source);

    std::string m_path;
    std::string m_temporaryName;
    bool m_unnamed = false;
    bool m_committed = false;
    int m_slot = -1;
};

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the hidden temporary files of
// writes under way before the program ends as the signal says. Call once at start.
void InstallInterruptCleanup();

}  // namespace kestrix
