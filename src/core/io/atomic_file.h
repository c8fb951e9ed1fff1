#pragma once

#include "stream.h"

#include <functional>
#include <string>

namespace kestrix {

// The moments of AtomicFile::Commit, in order. A commit that gives a new name
// passes Begin and Closed only; one that replaces an older file passes all of them.
enum class CommitStep {
    Begin,                     // the data are written, nothing is named yet
    LinkedUnderTemporaryName,  // an unnamed file got its hidden name
    Closed,                    // the data are flushed, the hidden name still stands
    Renamed,                   // the final name holds the new data
};

// A file written whole or not at all. The bytes go into an unnamed file in the
// target's folder (O_TMPFILE), which gets its final name only in Commit(); an
// interruption of any kind, even SIGKILL, leaves no new file behind. Linux links
// an unnamed file only under a free name, so replacing an older file passes
// through a hidden name ".kestrix-XXXXXX" that is then renamed over the final
// one. Where the file system has no unnamed files, that hidden file holds the
// bytes from the start. A hidden file is locked (flock) for as long as its
// writer lives and marked as ours (an extended attribute holding its hidden
// name, removed once the file has its final name): InstallInterruptCleanup
// removes it on the signals a program can catch, and RemoveAbandonedTemporaries
// removes one whose writer was killed.
class AtomicFile : public FileStream {
public:
    enum class Kind { Unnamed, Named };

    // Opens the file that will become path: an unnamed file where the system has
    // them (or, with Kind::Named, always the hidden temporary file). Raises
    // FileCreateError "Cannot create file "%s". %s" (path and the system's reason).
    explicit AtomicFile(std::string path, Kind kind = Kind::Unnamed);
    // Without Commit(), removes whatever was written.
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Gives the written file its final name, replacing an older file there.
    // Raises EWriteError when the data cannot be flushed, FileCreateError when the
    // name cannot be given.
    void Commit();

    const std::string& Path() const noexcept { return m_path; }
    // Whether the bytes go into an unnamed file (false: the hidden temporary file).
    bool Unnamed() const noexcept { return m_unnamed; }

private:
    struct Opened {
        int Fd;
        std::string Name;  // the temporary file's path; empty for an unnamed file
        int LockFd;        // see m_lockFd
    };
    static Opened Open(const std::string& path, Kind kind);
    explicit AtomicFile(std::string path, Opened opened);
    // Links the unnamed file fd (source: its /proc path) in under a fresh
    // hidden name in the folder, kept in m_temporaryName, marked as ours.
    void LinkUnderTemporaryName(int fd, const std::string& source);

    std::string m_path;
    std::string m_temporaryName;
    bool m_unnamed = false;
    bool m_committed = false;
    int m_slot = -1;
    // A second descriptor of the file that keeps its lock after the first is
    // closed to learn whether the data reached the disk.
    int m_lockFd = -1;
};

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the hidden temporary files of
// writes under way before the program ends as the signal says. Call once at start.
void InstallInterruptCleanup();

// Removes from folder the hidden temporary files that AtomicFile can prove
// its own and no living writer holds locked: what a writer killed by SIGKILL
// left, empty or not. A file is ours when it is regular, is named ".kestrix-"
// and six letters or digits, and carries our mark of that very name; any other
// file stays, whatever its name, and so does every path for which keep (when
// given) is true, such as the images of a run. The files of writes under way,
// in this process or another, stay. A folder that cannot be read is left as it is.
void RemoveAbandonedTemporaries(const std::string& folder,
                                const std::function<bool(const std::string& path)>& keep = {});

// Test seam: hook is called at each step of every Commit, on the committing
// thread (null: no hook). Set it before any commit runs.
void SetCommitStepHook(void (*hook)(CommitStep step));

}  // namespace kestrix
