#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kestrix::test_support {

// A fresh folder of its own for each test, removed with everything in it
// afterwards.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir =
            std::filesystem::temp_directory_path() / ("kestrix-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // The path of name inside the folder.
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    // Writes bytes as the file name inside the folder; returns its path.
    template <typename Bytes>
    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // The names in the folder, sorted.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path m_dir;
};

}  // namespace kestrix::test_support
