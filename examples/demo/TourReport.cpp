#include "TourReport.h"

#include <algorithm>
#include <array>

namespace demo {

bool TourRow::asExpected() const {
  if (result.rfind("failed", 0) == 0) return false;
  return expected.empty() || result == expected;
}

bool TourReport::allAsExpected() const {
  return std::all_of(rows.begin(), rows.end(), [](const auto& row) { return row.asExpected(); });
}

void TourReport::print(std::ostream& out) const {
  constexpr std::size_t columns = 5;
  using Cells = std::array<std::vector<std::string>, columns>;
  const Cells heading{{{"PLACEMENT"},
                       {"FORMAT"},
                       {"RESULT"},
                       {"EVENTS"},
                       {"BEACONS (VAST trackers in the order sent, then sorted)"}}};

  std::vector<Cells> blocks{heading};
  for (const auto& row : rows) {
    std::string result = row.result;
    if (!row.asExpected() && !row.expected.empty()) result += " (expected " + row.expected + ")";
    Cells cells{{{row.placement},
                 {row.format.empty() ? "-" : row.format},
                 {result},
                 row.events,
                 row.beacons}};
    if (cells[3].empty()) cells[3] = {"-"};
    if (!beaconsObserved)
      cells[4] = {"not observed"};
    else if (cells[4].empty())
      cells[4] = {"-"};
    blocks.push_back(std::move(cells));
  }

  std::array<std::size_t, columns> width{};
  for (const auto& block : blocks) {
    for (std::size_t c = 0; c < columns; ++c) {
      for (const auto& line : block[c]) width[c] = std::max(width[c], line.size());
    }
  }

  out << "Tour summary\n";
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    const auto& block = blocks[b];
    std::size_t height = 0;
    for (const auto& cell : block) height = std::max(height, cell.size());
    for (std::size_t line = 0; line < height; ++line) {
      std::string text;
      for (std::size_t c = 0; c < columns; ++c) {
        const std::string item = line < block[c].size() ? block[c][line] : "";
        text += c + 1 < columns ? item + std::string(width[c] - item.size() + 2, ' ') : item;
      }
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out << text << "\n";
    }
    if (b == 0) {
      std::size_t total = 0;
      for (const auto w : width) total += w + 2;
      out << std::string(total - 2, '-') << "\n";
      continue;
    }
    if (!rows[b - 1].steps.empty()) {
      std::string steps;
      for (const auto& step : rows[b - 1].steps) steps += (steps.empty() ? "" : "; ") + step;
      out << "  tour: " << steps << "\n";
    }
    out << "\n";
  }
  if (!otherBeacons.empty()) {
    out << "Beacons of no placement above:\n";
    for (const auto& beacon : otherBeacons) out << "  " << beacon << "\n";
  }
  const auto failed =
      std::count_if(rows.begin(), rows.end(), [](const auto& row) { return !row.asExpected(); });
  const bool unknown =
      std::any_of(rows.begin(), rows.end(), [](const auto& row) { return row.expected.empty(); });
  out << rows.size() << " placement(s): ";
  if (failed > 0)
    out << failed << " not as expected\n";
  else if (unknown)
    out << "none failed (where the ad is unknown, any result but a failure will do)\n";
  else
    out << "every one as expected\n";
}

zelvora::JSON TourReport::toJson() const {
  zelvora::JSON list = zelvora::JSON::array();
  for (const auto& row : rows) {
    list.push_back({{"placement", row.placement},
                    {"format", row.format},
                    {"expected", row.expected},
                    {"result", row.result},
                    {"asExpected", row.asExpected()},
                    {"events", row.events},
                    {"beacons", row.beacons},
                    {"steps", row.steps},
                    {"openedUrls", row.openedUrls}});
  }
  return {{"beaconsObserved", beaconsObserved},
          {"beaconOrder", "VAST trackers in the order sent, then sorted"},
          {"placements", std::move(list)},
          {"otherBeacons", otherBeacons},
          {"allAsExpected", allAsExpected()}};
}

}  // namespace demo
