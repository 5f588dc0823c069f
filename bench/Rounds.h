#pragma once

// What every benchmark needs: rounds run in child processes of the benchmark itself (the SDK
// initialises once per process, so every round starts from a fresh one), their medians, a
// scratch folder for the run, and the libcurl baseline's POST.

#include <filesystem>
#include <map>
#include <optional>
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

/// The baselines' POST: `body` as JSON to `url` with plain libcurl (one easy handle, its
/// defaults, a 30 s time-out); the answer's text, none unless it came with status 200.
std::optional<std::string> curlPostJson(const std::string& url, const std::string& body);

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
