#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "flash_image_builder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <numeric>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace kestrix {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Pattern(std::size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

MemoryStream MemoryOf(const std::vector<uint8_t>& bytes)
{
    MemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    return stream;
}

// A stream that claims more bytes than it delivers, as a file that shrinks while it is read.
class ShortStream : public MemoryStream {
public:
    explicit ShortStream(int64_t claimed) : m_claimed(claimed) {}
    int64_t Size() override { return m_claimed; }

private:
    int64_t m_claimed;
};

class TempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kestrix-buffer-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    fs::path m_dir;
};

using HexBufferLoad = TempDir;

TEST(HexBufferProgress, ReportsFollowTheChunks)
{
    const struct {
        const char* name;
        std::size_t size;
        std::vector<int> reports;
    } cases[] = {
        {"empty", 0, {}},
        {"one byte", 1, {100}},
        {"exactly one chunk", 61440, {100}},
        {"one chunk and a byte", 61441, {0, 100}},
        {"exactly two chunks", 122880, {0, 100}},
        {"three chunks", 184320, {0, 33, 100}},
    };
    for (const auto& c : cases) {
        THexBuffer buffer;
        std::vector<int> reports;
        TProgressKind expectedKind = pkLoad;
        buffer.OnProgress = [&](TCustomHexBuffer&, TProgressKind kind, const std::string&, uint8_t percent, bool&) {
            reports.push_back(percent);
            EXPECT_EQ(kind, expectedKind) << c.name;
        };
        const auto bytes = Pattern(c.size);
        buffer.LoadFromBytes(bytes);
        EXPECT_EQ(reports, c.reports) << c.name;
        ASSERT_EQ(buffer.DataSize(), static_cast<int32_t>(c.size)) << c.name;
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.Data())) << c.name;

        reports.clear();
        expectedKind = pkSave;
        MemoryStream out;
        buffer.WriteRangeToStream(out, 0, -1);
        EXPECT_EQ(reports, c.reports) << c.name;
        EXPECT_EQ(out.Size(), static_cast<int64_t>(c.size)) << c.name;
    }
}

// A file of several megabytes, which the load reads ahead of its chunks, gives
// the bytes and the reports of the same bytes loaded from memory, and a cancel
// past the first megabyte still empties the buffer.
TEST_F(HexBufferLoad, AFileReadAheadOfItsChunksLoadsAsFromMemory)
{
    const auto bytes = Pattern(3 * 1048576 + 5);
    const std::string path = Write("large.bin", bytes);
    const auto reportsOf = [](THexBuffer& buffer, const auto& load) {
        std::vector<int> reports;
        buffer.OnProgress = [&](TCustomHexBuffer&, TProgressKind, const std::string&, uint8_t percent, bool&) {
            reports.push_back(percent);
        };
        load();
        return reports;
    };
    THexBuffer fromMemory;
    THexBuffer fromFile;
    const auto memoryReports = reportsOf(fromMemory, [&] { fromMemory.LoadFromBytes(bytes); });
    EXPECT_EQ(reportsOf(fromFile, [&] { fromFile.LoadFromFile(path); }), memoryReports);
    ASSERT_EQ(fromFile.DataSize(), static_cast<int32_t>(bytes.size()));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), fromFile.Data()));

    fromFile.OnProgress = [](TCustomHexBuffer&, TProgressKind, const std::string&, uint8_t percent, bool& stop) {
        stop = percent >= 50;
    };
    EXPECT_THROW(fromFile.LoadFromFile(path), EHexBuffer);
    EXPECT_EQ(fromFile.DataSize(), 0);
}

TEST_F(HexBufferLoad, LoadsWholeFileAndNamesItself)
{
    const auto bytes = Pattern(200000);
    const std::string path = Write("Прошивка с пробелами.bin", bytes);
    THexBuffer buffer;
    buffer.ResetToEmpty("Untitled");
    EXPECT_EQ(buffer.FileName(), "Untitled");
    std::string reportedName;
    buffer.OnProgress = [&](TCustomHexBuffer&, TProgressKind, const std::string& name, uint8_t, bool&) {
        reportedName = name;
    };
    buffer.LoadFromFile(path);
    ASSERT_EQ(buffer.DataSize(), 200000);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.Data()));
    EXPECT_EQ(buffer.ByteAt(0), bytes.front());
    EXPECT_EQ(buffer.ByteAt(199999), bytes.back());
    EXPECT_EQ(buffer.FileName(), path);
    EXPECT_EQ(reportedName, path);
    EXPECT_TRUE(buffer.LoadingName().empty());
    EXPECT_EQ(buffer.CaretPosition(), 0);
    EXPECT_EQ(buffer.SelectionLength(), 0);
}

TEST_F(HexBufferLoad, ImagesOfSeveralMebibytesLandWholeOnAlignedBlocks)
{
    THexBuffer buffer;
    for (const std::size_t size : {std::size_t{5 << 20} + 123, std::size_t{100}, std::size_t{4 << 20}}) {
        const auto bytes = Pattern(size);
        buffer.LoadFromFile(Write("image.bin", bytes));
        ASSERT_EQ(buffer.DataSize(), static_cast<int32_t>(size));
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.Data())) << size;
        if (size >= 2 << 20) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.Data()) % (2 << 20), 0u) << size;
        }
    }
}

TEST_F(HexBufferLoad, EmptyFileLoadsAndRefusesEverySelectionStart)
{
    const std::string path = Write("empty.bin", {});
    THexBuffer buffer;
    int reports = 0;
    buffer.OnProgress = [&](TCustomHexBuffer&, TProgressKind, const std::string&, uint8_t, bool&) { ++reports; };
    buffer.LoadFromFile(path);
    EXPECT_EQ(buffer.DataSize(), 0);
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(buffer.FileName(), path);
    EXPECT_THROW(buffer.SetSelStart(0), EHexBuffer);
    EXPECT_NO_THROW(buffer.SetSelEnd(-1));
}

// Loads path on another thread and returns what it raised. A load still running
// after 10 s waits for a FIFO's writer: the guard opens one to release it and
// sets hung.
std::exception_ptr LoadGuarded(THexBuffer& buffer, const std::string& path, bool& hung)
{
    auto load = std::async(std::launch::async, [&buffer, &path] {
        try {
            buffer.LoadFromFile(path);
        } catch (...) {
            return std::current_exception();
        }
        return std::exception_ptr();
    });
    hung = load.wait_for(std::chrono::seconds(10)) == std::future_status::timeout;
    if (hung)
        ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
    return load.get();
}

TEST_F(HexBufferLoad, OpenFailuresLeaveThePreviousImage)
{
    const auto bytes = Pattern(5000);
    const std::string good = Write("good.bin", bytes);
    const std::string fifo = (m_dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const std::string socketPath = (m_dir / "socket").string();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const struct {
        const char* name;
        std::string path;
        std::string reason;
        LoadCause cause;
        int error;
    } cases[] = {
        {"missing file", (m_dir / "missing.bin").string(), "No such file or directory", LoadCause::CannotOpen, ENOENT},
        {"folder", m_dir.string(), "Is a directory", LoadCause::NotAFile, EISDIR},
        {"empty path", "", "No such file or directory", LoadCause::CannotOpen, ENOENT},
        {"FIFO without a writer", fifo, "Illegal seek", LoadCause::NotAFile, ESPIPE},
        {"pipe, as /dev/stdin", "/proc/self/fd/" + std::to_string(pipeEnds[0]), "Illegal seek", LoadCause::NotAFile,
         ESPIPE},
        {"socket", socketPath, "No such device or address", LoadCause::NotAFile, ESPIPE},
        {"character device", "/dev/null", "Operation not supported", LoadCause::NotAFile, ENOTSUP},
        {"file without an end", "/proc/self/status", "Invalid argument", LoadCause::NotAFile, EINVAL},
    };
    for (const auto& c : cases) {
        THexBuffer buffer;
        buffer.LoadFromFile(good);
        bool hung = false;
        const std::exception_ptr failure = LoadGuarded(buffer, c.path, hung);
        EXPECT_FALSE(hung) << c.name;
        try {
            if (failure)
                std::rethrow_exception(failure);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.ClassName(), "EFOpenError");
            EXPECT_EQ(std::string(e.what()), "Cannot open " + c.path + ".\r\n(" + c.reason + ".)") << c.name;
        }
        EXPECT_EQ(buffer.LastLoadFailure().Cause, c.cause) << c.name;
        EXPECT_EQ(buffer.LastLoadFailure().Error, c.error) << c.name;
        EXPECT_EQ(buffer.FileName(), good) << c.name;
        ASSERT_EQ(buffer.DataSize(), 5000) << c.name;
        EXPECT_EQ(buffer.ByteAt(4999), bytes.back()) << c.name;
    }
    ::close(listener);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

TEST_F(HexBufferLoad, FileOfTwoGibibytesIsARangeErrorAndEmptiesTheBuffer)
{
    const std::string small = Write("small.bin", Pattern(100));
    const std::string huge = (m_dir / "huge.bin").string();
    {
        std::ofstream(huge, std::ios::binary).put('x');
    }
    fs::resize_file(huge, 2147483648ull);  // sparse: costs no disk
    THexBuffer buffer;
    buffer.LoadFromFile(small);
    try {
        buffer.LoadFromFile(huge);
        ADD_FAILURE() << "no error";
    } catch (const ERangeError& e) {
        EXPECT_STREQ(e.what(), "Range check error");
    }
    EXPECT_EQ(buffer.LastLoadFailure().Cause, LoadCause::TooLarge);
    EXPECT_EQ(buffer.LastLoadFailure().Size, 2147483648);
    EXPECT_EQ(buffer.DataSize(), 0);
    EXPECT_EQ(buffer.FileName(), small);
    buffer.LoadFromFile(small);
    EXPECT_EQ(buffer.LastLoadFailure().Cause, LoadCause::None);
}

// The cause a failed load records beside the exception, for the command line's
// messages: a file cut short while it loads (past the megabyte the load reads
// ahead), and a cancel.
TEST_F(HexBufferLoad, ALoadCutShortOrCancelledRecordsItsCause)
{
    for (const bool cancel : {false, true}) {
        const std::string path = Write("shrinks.bin", Pattern(3000000));
        THexBuffer buffer;
        buffer.OnProgress = [&](TCustomHexBuffer&, TProgressKind, const std::string&, uint8_t percent, bool& stop) {
            if (percent > 0 && !cancel)
                EXPECT_EQ(::truncate(path.c_str(), 100000), 0);
            stop = percent > 0 && cancel;
        };
        EXPECT_THROW(buffer.LoadFromFile(path), Exception);
        EXPECT_EQ(buffer.LastLoadFailure().Cause, cancel ? LoadCause::Cancelled : LoadCause::ShortRead);
        EXPECT_EQ(buffer.LastLoadFailure().Error, 0);
        EXPECT_EQ(buffer.LastLoadFailure().Size, 3000000);
    }
}

// Another program cuts the image short right after the load took its size.
class ShrinkingFileStream : public FileStream {
public:
    using FileStream::FileStream;
    int64_t Size() override
    {
        const int64_t size = FileStream::Size();
        EXPECT_EQ(::truncate(FileName().c_str(), size / 2), 0);
        return size;
    }
};

TEST_F(HexBufferLoad, ImageThatShrinksOrVanishesDuringTheLoad)
{
    const auto bytes = Pattern(300000);
    THexBuffer buffer;
    {
        ShrinkingFileStream shrinking(Write("shrinks.bin", bytes), FileMode::OpenRead);
        EXPECT_THROW(buffer.LoadFromStream(shrinking), EReadError);
        EXPECT_EQ(buffer.DataSize(), 0);
    }
    // A file removed after it was opened is still read whole from the open handle.
    const std::string path = Write("vanishes.bin", bytes);
    FileStream vanishing(path, FileMode::OpenRead);
    fs::remove(path);
    buffer.LoadFromStream(vanishing);
    ASSERT_EQ(buffer.DataSize(), 300000);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.Data()));
}

TEST(HexBufferFailure, ShortSourceAndCancelEmptyTheBuffer)
{
    THexBuffer buffer;
    buffer.LoadFromBytes(Pattern(300));

    ShortStream shortSource(200000);
    const auto delivered = Pattern(100000);
    shortSource.WriteBuffer(delivered.data(), static_cast<int32_t>(delivered.size()));
    try {
        buffer.LoadFromStream(shortSource);
        ADD_FAILURE() << "no error";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_EQ(buffer.DataSize(), 0);

    buffer.OnProgress = [](TCustomHexBuffer&, TProgressKind, const std::string&, uint8_t percent, bool& cancel) {
        cancel = percent > 0;
    };
    try {
        buffer.LoadFromBytes(Pattern(200000));
        ADD_FAILURE() << "no error";
    } catch (const EHexBuffer& e) {
        EXPECT_STREQ(e.what(), "Operation Cancelled");
    }
    EXPECT_EQ(buffer.DataSize(), 0);
}

// Bytes of address space the process holds now.
int64_t AddressSpaceInUse()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoll(line.substr(7)) * 1024;
    return 0;
}

// Loads an image of 1 GiB with 64 MiB of address space left; reports on stderr
// what the load raised and the size left, and exits 0 when it raised.
[[noreturn]] void LoadBeyondTheMemoryLeft()
{
    THexBuffer buffer;
    buffer.LoadFromBytes(Pattern(300));
    const rlimit limit{static_cast<rlim_t>(AddressSpaceInUse() + (64 << 20)), RLIM_INFINITY};
    ::setrlimit(RLIMIT_AS, &limit);
    ShortStream claimsOneGibibyte(1 << 30);
    try {
        buffer.LoadFromStream(claimsOneGibibyte);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s: %s; size %d\n", e.ClassName().c_str(), e.what(), buffer.DataSize());
        std::_Exit(0);
    }
    std::_Exit(1);
}

TEST(HexBufferFailureDeathTest, ImageBeyondTheMemoryLeftIsOutOfMemoryAndEmptiesTheBuffer)
{
    EXPECT_EXIT(LoadBeyondTheMemoryLeft(), ::testing::ExitedWithCode(0),
                "EStreamError: Out of memory while expanding memory stream; size 0");
}

TEST(HexBufferRange, WriteRangeToStreamFollowsItsTable)
{
    constexpr int32_t kSize = 200000;
    const auto bytes = Pattern(kSize);
    const struct {
        const char* name;
        int32_t start;
        int32_t count;
        bool fails;
        std::size_t written;  // bytes in the destination afterwards
    } cases[] = {
        {"count 0", 10, 0, false, 0},
        {"negative count", 10, -5, false, 0},
        {"to the end", 150000, -1, false, 50000},
        {"last byte", kSize - 1, 1, false, 1},
        {"whole image", 0, kSize, false, kSize},
        {"one past the end", kSize - 10, 11, true, 0},
        {"negative start", -1, 10, true, 0},
        {"start at the end", kSize, 1, true, 0},
        {"whole chunks inside stay", 1000, kSize, true, 3 * 61440},
        {"rest from the lowest start", INT32_MIN, -1, true, 0},
        {"rest from past the end", kSize + 5, -1, false, 0},
    };
    THexBuffer buffer;
    buffer.LoadFromBytes(bytes);
    for (const auto& c : cases) {
        MemoryStream out;
        if (c.fails)
            EXPECT_THROW(buffer.WriteRangeToStream(out, c.start, c.count), EReadError) << c.name;
        else
            EXPECT_NO_THROW(buffer.WriteRangeToStream(out, c.start, c.count)) << c.name;
        ASSERT_EQ(out.Size(), static_cast<int64_t>(c.written)) << c.name;
        if (c.written > 0) {
            EXPECT_TRUE(std::equal(out.Memory(), out.Memory() + c.written, bytes.begin() + std::max(c.start, 0)))
                << c.name;
        }
    }
}

TEST(HexBufferRange, WritesAtTheDestinationsPosition)
{
    THexBuffer buffer;
    buffer.LoadFromBytes(std::vector<uint8_t>{1, 2, 3, 4, 5});
    MemoryStream out = MemoryOf({9, 9, 9, 9});
    out.SetPosition(2);
    buffer.WriteRangeToStream(out, 1, 3);
    EXPECT_EQ(out.Position(), 5);
    ASSERT_EQ(out.Size(), 5);
    EXPECT_EQ(std::vector<uint8_t>(out.Memory(), out.Memory() + 5), (std::vector<uint8_t>{9, 9, 2, 3, 4}));
}

TEST(HexBufferSelection, SettersFollowTheCaretAndUnits)
{
    const struct {
        const char* name;
        int32_t bytesPerUnit;
        std::vector<std::pair<char, int32_t>> steps;  // 's' SelStart, 'e' SelEnd
        int32_t length;
    } cases[] = {
        {"backwards", 1, {{'s', 10}, {'e', 5}}, 6},
        {"one byte", 1, {{'s', 7}, {'e', 7}}, 1},
        {"start alone", 1, {{'s', 7}}, 0},
        {"end -1 clears", 1, {{'s', 7}, {'e', 3}, {'e', -1}}, 0},
        {"widened to units", 4, {{'s', 5}, {'e', 9}}, 8},
        {"clipped at the end", 8, {{'s', 90}, {'e', 99}}, 12},
    };
    for (const auto& c : cases) {
        THexBuffer buffer;
        buffer.LoadFromBytes(Pattern(100));
        buffer.SetBytesPerUnit(c.bytesPerUnit);
        for (const auto& [kind, value] : c.steps)
            kind == 's' ? buffer.SetSelStart(value) : buffer.SetSelEnd(value);
        EXPECT_EQ(buffer.SelectionLength(), c.length) << c.name;
    }
}

TEST(HexBufferSelection, OutOfRangeSettersRaiseAndChangeNothing)
{
    THexBuffer buffer;
    buffer.LoadFromBytes(Pattern(100));
    buffer.SetSelStart(20);
    buffer.SetSelEnd(10);
    for (int32_t v : {-1, 100}) {
        try {
            buffer.SetSelStart(v);
            ADD_FAILURE() << v;
        } catch (const EHexBuffer& e) {
            EXPECT_STREQ(e.what(), "Invalid selection start");
        }
    }
    for (int32_t w : {-2, 100}) {
        try {
            buffer.SetSelEnd(w);
            ADD_FAILURE() << w;
        } catch (const EHexBuffer& e) {
            EXPECT_STREQ(e.what(), "Invalid selection end");
        }
    }
    EXPECT_EQ(buffer.SelectionLength(), 11);
    EXPECT_EQ(buffer.CaretPosition(), 20);
}

TEST(HexBufferSelection, NoticeIsDeferredAndDeliveredOnce)
{
    THexBuffer buffer;
    std::vector<std::function<void()>> queue;
    int delivered = 0;
    buffer.PostNotice = [&](std::function<void()> notice) { queue.push_back(std::move(notice)); };
    buffer.OnSelectionChanged = [&](TCustomHexBuffer&) { ++delivered; };
    buffer.LoadFromBytes(Pattern(100));
    buffer.SetSelStart(9);
    buffer.SetSelEnd(3);
    EXPECT_EQ(delivered, 0);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(buffer.PendingSelectionChanges(), 3);
    queue.front()();
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(buffer.PendingSelectionChanges(), 0);
    buffer.SetSelStart(1);
    EXPECT_EQ(queue.size(), 2u);
}

TEST(HexBufferEvents, OnChangeFiresAfterEveryLoadAndResetBeforeTheSelectionNotice)
{
    THexBuffer buffer;
    std::vector<std::string> events;
    buffer.OnChange = [&](TCustomHexBuffer& sender) {
        EXPECT_EQ(&sender, &buffer);
        events.push_back("change, size " + std::to_string(sender.DataSize()));
    };
    buffer.PostNotice = [](std::function<void()> notice) { notice(); };
    buffer.OnSelectionChanged = [&](TCustomHexBuffer&) { events.push_back("selection"); };

    buffer.LoadFromBytes(Pattern(10));
    ShortStream bad(50);
    EXPECT_THROW(buffer.LoadFromStream(bad), EReadError);
    buffer.ResetToEmpty("Untitled");
    EXPECT_EQ(events, (std::vector<std::string>{"change, size 10", "selection", "change, size 0", "selection",
                                                "change, size 0", "selection"}));
}

}  // namespace
}  // namespace kestrix
