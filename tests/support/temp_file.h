#pragma once
// Temporary files and folders for tests, removed when the object ends.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test {

// A fresh, empty folder under the system's temporary folder.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder (the file is not created).
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A file with the given bytes in its own temporary folder.
class TempFile {
public:
    explicit TempFile(const std::vector<std::uint8_t>& bytes, const std::string& name = "t.bin");
    const std::string& path() const { return path_; }
    const char* c_str() const { return path_.c_str(); }

private:
    TempDir dir_;
    std::string path_;
};

std::vector<std::uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace test
