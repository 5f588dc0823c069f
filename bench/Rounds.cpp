#include "Rounds.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace zelvora::bench {

Fields runChildRound(const std::vector<std::string>& arguments) {
  const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
  // Nothing else of the parent (its servers' sockets) reaches the child.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  pid_t pid = 0;
  const int spawnError =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(channel[1]);
  if (spawnError != 0) {
    ::close(channel[0]);
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawnError));
  }
  std::string output;
  char buffer[4096];
  while (true) {
    const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(channel[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const std::string round = arguments.empty() ? program : arguments.front();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("the " + round + " round failed: " + output);

  std::istringstream lines(output);
  std::string line, last;
  while (std::getline(lines, line))
    if (line.find('=') != std::string::npos) last = line;
  Fields fields;
  std::istringstream lastWords(last);
  for (std::string word; lastWords >> word;) {
    const auto equals = word.find('=');
    if (equals != std::string::npos)
      fields[word.substr(0, equals)] = std::strtod(word.c_str() + equals + 1, nullptr);
  }
  if (fields.empty()) throw std::runtime_error("the " + round + " round printed no figure");
  return fields;
}

void printFields(const Fields& fields) {
  std::ostringstream line;
  for (const auto& [key, value] : fields) line << key << '=' << value << ' ';
  std::printf("%s\n", line.str().c_str());
  std::fflush(stdout);
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

namespace {

std::size_t appendToString(char* data, std::size_t size, std::size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

}  // namespace

std::optional<std::string> curlPostJson(const std::string& url, const std::string& body) {
  CURL* easy = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  std::string answer;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendToString);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, 30L);
  const CURLcode result = curl_easy_perform(easy);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
  if (result != CURLE_OK || status != 200) {
    std::fprintf(stderr, "POST %s: %s, HTTP %ld\n", url.c_str(), curl_easy_strerror(result),
                 status);
    return std::nullopt;
  }
  return answer;
}

RunFolder::RunFolder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  path_ = pattern;
}

RunFolder::~RunFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace zelvora::bench
