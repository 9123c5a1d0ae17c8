// A scratch folder for tests that need real files; removed with everything
// in it when the object goes out of scope.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace KT::Testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kt-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool Valid() const { return !path_.empty(); }
  // The native path of `relative` inside the folder (the folder for "").
  std::string Native(const std::string& relative = "") const {
    return relative.empty() ? path_ : path_ + "/" + relative;
  }
  // The same as UTF-16 (temporary folders have ASCII paths; `relative`
  // must be ASCII too).
  std::u16string Wide(const std::string& relative = "") const {
    const std::string native = Native(relative);
    return std::u16string(native.begin(), native.end());
  }
  // Creates a file (and its folders) holding `bytes`.
  void WriteFile(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path file = Native(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void MakeFolder(const std::string& relative) const { std::filesystem::create_directories(Native(relative)); }

 private:
  std::string path_;
};

}  // namespace KT::Testing
