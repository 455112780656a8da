#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

// A folder of its own for one test, removed with everything in it afterwards.
class TempFolder
{
public:
    TempFolder()
    {
#ifdef _WIN32
        // No mkdtemp: a name of its own, tried until one is free.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("vendrel-test-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error))
                m_path = candidate.string();
        }
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "vendrel-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
#endif
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool valid() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + '/' + name; }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& bytes, bool executable = false)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    if (executable)
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits for a file that another process writes (it renames it into place when done).
inline bool waitForFile(const std::string& path)
{
    for (int i = 0; i < 1000; ++i) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A program that records its arguments one per line in record, written only when complete.
inline void writeRecorder(const std::string& program, const std::string& record)
{
    writeFile(program,
              "#!/bin/sh\n"
              "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + ".part'\n"
              "mv '" + record + ".part' '" + record + "'\n",
              true);
}
