// A temporary folder for one test, removed with everything in it at the end.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace velvox::testing {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velvox-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Returns the full path of name inside the folder.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Writes bytes to name inside the folder.
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary);
        out << bytes;
    }

    // Returns the bytes of name inside the folder ("<missing>" when absent).
    std::string read(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        if (!in)
            return "<missing>";
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string path_;
};

}  // namespace velvox::testing
