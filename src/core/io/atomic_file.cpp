#include "atomic_file.h"

#include "exceptions.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kestrix {
namespace {

// Temporary files that carry a name while a write is under way, for the signal
// handler: a slot is claimed (0 -> 1), filled, published (1 -> 2) and released.
// Only lock-free atomics and unlink() are touched from the handler.
struct PendingFile {
    std::atomic<int> State{0};
    char Path[PATH_MAX]{};
};
std::array<PendingFile, 64> pendingFiles;

int ClaimSlot(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (std::size_t k = 0; k < pendingFiles.size(); ++k) {
        int expected = 0;
        if (pendingFiles[k].State.compare_exchange_strong(expected, 1)) {
            std::memcpy(pendingFiles[k].Path, path.c_str(), path.size() + 1);
            pendingFiles[k].State.store(2);
            return static_cast<int>(k);
        }
    }
    return -1;
}

void ReleaseSlot(int slot)
{
    if (slot >= 0)
        pendingFiles[static_cast<std::size_t>(slot)].State.store(0);
}

void RemovePendingFiles(int signal)
{
    for (PendingFile& file : pendingFiles)
        if (file.State.load() == 2)
            ::unlink(file.Path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

FileCreateError CreateError(const std::string& path, int error)
{
    return FileCreateError(FormatMessage("Cannot create file \"%s\". %s", {path, SystemErrorText(error)}));
}

// A fresh hidden name in folder; the caller creates it exclusively.
std::string TemporaryName(const std::string& folder)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string name = folder + "/.kestrix-";
    for (int k = 0; k < 6; ++k)
        name += kLetters[random() % (sizeof(kLetters) - 1)];
    return name;
}

std::atomic<void (*)(CommitStep)> gStepHook{nullptr};

void Step(CommitStep step)
{
    if (const auto hook = gStepHook.load())
        hook(step);
}

// Whether name is one AtomicFile gives its hidden temporary files.
bool IsTemporaryName(const char* name)
{
    static constexpr char kPrefix[] = ".kestrix-";
    constexpr std::size_t kPrefixLength = sizeof(kPrefix) - 1;
    if (std::strncmp(name, kPrefix, kPrefixLength) != 0 || std::strlen(name) != kPrefixLength + 6)
        return false;
    for (const char* c = name + kPrefixLength; *c != 0; ++c)
        if (!((*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9')))
            return false;
    return true;
}

// Locks the file that will carry a hidden name for as long as this process
// holds a descriptor of it, so that RemoveAbandonedTemporaries tells a write
// under way from one whose writer died. Returns a second descriptor that keeps
// the lock once fd is closed, or -1 when none could be made.
int LockForLife(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return -1;
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

// The extended attribute that proves a hidden file is one of ours: it holds
// the file's own hidden name, so neither a user's file given such a name nor a
// copy of ours under another name carries a matching mark.
constexpr char kMarkAttribute[] = "user.kestrix.temporary";

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Marks fd as the hidden file named path. Only a locked file is marked, so
// that a marked file the sweep can lock is one whose writer is gone. Where the
// file system has no extended attributes the file stays unmarked and is never
// swept.
void Mark(int fd, int lockFd, const std::string& path)
{
    if (lockFd < 0)
        return;
    const std::string name = BaseName(path);
    ::fsetxattr(fd, kMarkAttribute, name.data(), name.size(), 0);
}

// Whether the file open as fd carries the mark of the hidden name name.
bool MarkedAs(int fd, const char* name)
{
    char value[64];
    const ssize_t length = ::fgetxattr(fd, kMarkAttribute, value, sizeof(value));
    return length >= 0 && static_cast<std::size_t>(length) == std::strlen(name) &&
           std::memcmp(value, name, static_cast<std::size_t>(length)) == 0;
}

bool HasProcFds()
{
    static const bool kHas = ::access("/proc/self/fd", X_OK) == 0;
    return kHas;
}

}  // namespace

AtomicFile::Opened AtomicFile::Open(const std::string& path, Kind kind)
{
    const std::string folder = FolderOf(path);
    // Linking an unnamed file in needs /proc (or a privilege this program does not ask for).
    if (kind == Kind::Unnamed && HasProcFds()) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0)
            return {fd, {}, LockForLife(fd)};
        // Refusals that say only that this file system has no unnamed files.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throw CreateError(path, errno);
    }
    std::string pattern = folder + "/.kestrix-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        throw CreateError(path, errno);
    // mkstemp makes the file private; give it the permissions a plain create
    // would. The process's mask is read once: reading it means setting it.
    static const mode_t kMask = [] {
        const mode_t current = ::umask(0);
        ::umask(current);
        return current;
    }();
    ::fchmod(fd, 0666 & ~kMask);
    const int lockFd = LockForLife(fd);
    Mark(fd, lockFd, pattern);
    return {fd, pattern, lockFd};
}

AtomicFile::AtomicFile(std::string path, Kind kind) : AtomicFile(path, Open(path, kind)) {}

AtomicFile::AtomicFile(std::string path, Opened opened)
    : FileStream(opened.Fd, opened.Name.empty() ? path : opened.Name), m_path(std::move(path)),
      m_temporaryName(std::move(opened.Name)), m_unnamed(m_temporaryName.empty()), m_lockFd(opened.LockFd)
{
    if (!m_unnamed)
        m_slot = ClaimSlot(m_temporaryName);
}

AtomicFile::~AtomicFile()
{
    if (!m_committed && !m_temporaryName.empty())
        ::unlink(m_temporaryName.c_str());
    ReleaseSlot(m_slot);
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

void AtomicFile::LinkUnderTemporaryName(int fd, const std::string& source)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temporaryName = TemporaryName(FolderOf(m_path));
        Mark(fd, m_lockFd, m_temporaryName);
        // Published before the link, so that no moment has a name the handler does not know.
        m_slot = ClaimSlot(m_temporaryName);
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, m_temporaryName.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return;
        const int error = errno;
        ReleaseSlot(m_slot);
        m_slot = -1;
        m_temporaryName.clear();
        if (error != EEXIST)
            throw CreateError(m_path, error);
    }
    throw CreateError(m_path, EEXIST);
}

void AtomicFile::Commit()
{
    const int fd = ReleaseHandle();
    Step(CommitStep::Begin);
    bool linkedUnderFinalName = false;
    if (m_unnamed) {
        const std::string source = "/proc/self/fd/" + std::to_string(fd);
        // A new name is taken at once; an older file is replaced through a named
        // step (link, then rename), the only moment the file carries a temporary name.
        linkedUnderFinalName = ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, m_path.c_str(), AT_SYMLINK_FOLLOW) == 0;
        const int error = errno;
        try {
            if (!linkedUnderFinalName && error != EEXIST)
                throw CreateError(m_path, error);
            if (!linkedUnderFinalName)
                LinkUnderTemporaryName(fd, source);
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (!linkedUnderFinalName)
            Step(CommitStep::LinkedUnderTemporaryName);
    }
    if (::close(fd) != 0) {
        if (linkedUnderFinalName)
            ::unlink(m_path.c_str());
        throw EWriteError("Stream write error");
    }
    Step(CommitStep::Closed);
    if (!linkedUnderFinalName) {
        if (::rename(m_temporaryName.c_str(), m_path.c_str()) != 0)
            throw CreateError(m_path, errno);
        // The mark names the hidden name only, so a kill before its removal
        // leaves it harmless on the final file.
        if (m_lockFd >= 0)
            ::fremovexattr(m_lockFd, kMarkAttribute);
        Step(CommitStep::Renamed);
    }
    m_committed = true;
}

void InstallInterruptCleanup()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction action {};
        action.sa_handler = RemovePendingFiles;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

void RemoveAbandonedTemporaries(const std::string& folder, const std::function<bool(const std::string&)>& keep)
{
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    // fdopendir takes over the descriptor it is given; dirFd stays for the *at calls.
    DIR* dir = ::fdopendir(::fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (dir == nullptr) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryName(entry->d_name))
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        // A writer locks its file before marking it, so a marked file that
        // can be locked has lost its writer, even when it is still empty.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && MarkedAs(fd, entry->d_name) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
            !(keep && keep((folder.empty() ? std::string(".") : folder) + "/" + entry->d_name)))
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
    ::close(dirFd);
}

void SetCommitStepHook(void (*hook)(CommitStep step))
{
    gStepHook.store(hook);
}

}  // namespace kestrix
