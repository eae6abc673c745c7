#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace parvane::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Names of everything in the folder, sorted.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

// Bytes that differ from their neighbours, so a shifted copy is caught: byte i is
// a function of i that does not repeat every 256 bytes.
std::vector<std::uint8_t> patternBytes(std::size_t count);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::string& path);

} // namespace parvane::testing
