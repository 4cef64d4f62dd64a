// Runs a kammelsim command line in-process and captures what it writes.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/Kammelsim.h"

namespace testing_kammelsim {

struct CapturedRun {
  int status;
  std::string out, err;
};

inline std::string ReadAndClose(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    text.append(buffer, n);
  std::fclose(file);
  return text;
}

inline CapturedRun Kammelsim(const std::vector<std::string_view>& args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = kammelsim::RunKammelsim(args, {out, err, false});
  return {status, ReadAndClose(out), ReadAndClose(err)};
}

/// A command line kammelsim must refuse: status 2, nothing on stdout, and one line on stderr
/// that holds message.
inline void ExpectUsageFault(const std::vector<std::string_view>& args,
                             const std::string& message) {
  const CapturedRun run = Kammelsim(args);
  EXPECT_EQ(run.status, 2) << message;
  EXPECT_EQ(run.out, "") << message;
  EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
}

/// The whitespace-separated integers of each line.
inline std::vector<std::vector<long>> Rows(const std::string& text) {
  std::vector<std::vector<long>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream numbers(line);
    rows.emplace_back();
    for (long n; numbers >> n;)
      rows.back().push_back(n);
  }
  return rows;
}

/// A file's whole content; empty when it cannot be read.
inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

/// Writes bytes as a file's whole content.
inline void Spill(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

/// A test with a folder of its own, made empty before and removed after.
class FolderTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("kammelsim-" + std::to_string(getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  /// The names in a folder inside it, sorted.
  std::vector<std::string> Files(const std::string& sub) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ / sub))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path folder_;
};

}  // namespace testing_kammelsim
