#pragma once

#include <filesystem>
#include <string>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

// A fresh directory under the system temp folder, removed with its contents at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

Data readFile(const std::string& path);
void writeFile(const std::string& path, const Data& data);

}  // namespace OrvikFramework::Testing
