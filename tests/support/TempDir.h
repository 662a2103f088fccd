// A scratch folder for package files, removed with its contents at the end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "package/PackageBuilder.h"
#include "platform/Environment.h"

class TempDir {
  public:
    TempDir() { path_ = platform::MakeScratchFolder("brevik-"); }
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
