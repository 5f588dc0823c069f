#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adunit/Ad.h"
#include "zelvora/Json.h"
#include "zelvora/util/OrderedMap.h"

namespace zelvora {

/// One placement of the server's answer: its ad units by ad id, in the answer's order. The
/// first one is preloaded, and shown.
class Placement : public AdPreloadProtocol, public std::enable_shared_from_this<Placement> {
 public:
  explicit Placement(std::string id) : id(std::move(id)) {}

  /// Takes the placement object in; an enabled placement builds its ad units and preloads
  /// the first. Call once, on a placement owned by a shared pointer.
  void setup(JSON withData);
  void onAdLoaded() override;

  const std::optional<JSON>& data() const { return data_; }

  std::string id;
  std::optional<std::string> name;
  std::optional<std::string> status;
  OrderedMap<std::string, std::shared_ptr<Ad>> ads;

 private:
  void processAds(const JSON& list);
  void preloadAd();

  std::optional<JSON> data_;
};

}  // namespace zelvora
