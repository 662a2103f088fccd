// A scratch folder for package files, removed with its contents at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/package/PackageBuilder.h"

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brevik-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        WritePackageFile(File(name), bytes);
        return File(name);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};
