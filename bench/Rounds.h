#pragma once

// What every benchmark's parent side needs: rounds run in child processes of the benchmark
// itself (the SDK initialises once per process, so every round starts from a fresh one), their
// medians, and a scratch folder for the run.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace zelvora::bench {

/// A round's figures, by name.
using Fields = std::map<std::string, double>;

/// Runs this program again with `arguments` and returns the `name=value` words of the last
/// line of its standard output that holds any (lines before it are the child's console).
/// Throws std::runtime_error when the child cannot start, fails, or prints no figure.
Fields runChildRound(const std::vector<std::string>& arguments);

/// Prints `fields` as one line of `name=value` words, for the parent to read.
void printFields(const Fields& fields);

double median(std::vector<double> values);

/// A folder of the run's own under the system's temporary directory, named after `prefix`,
/// removed at the end.
class RunFolder {
 public:
  explicit RunFolder(const std::string& prefix);
  ~RunFolder();
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace zelvora::bench
