#pragma once
// A unique folder under the system's temporary folder for one test, removed with everything in it when
// the object goes out of scope.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::error_code error;
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = std::filesystem::temp_directory_path(error) /
              ("zrtest-" + std::to_string(stamp) + "-" + std::to_string(counter++));
      if (std::filesystem::create_directory(path_, error)) return;
    }
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The full name of an entry of the folder, in the platform's own form.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};
