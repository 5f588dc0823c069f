// The reference server's handling of one raw HTTP request, in memory: the getPlacements POST
// with its body, beacons with their query, the debug pages, the assets and the VAST documents.
// A body that is a JSON object with "data" and no signature gets a valid one, so that what lies
// behind the signature check is reached too.
#include "FuzzWorld.h"
#include "net/JsonReading.h"
#include "net/Md5.h"
#include "zelvora/server/ReferenceServer.h"

using namespace zelvora;

namespace {

const JSON& campaigns() {
  static const JSON loaded =
      server::ReferenceServer::loadCampaigns(ZELVORA_SERVER_DATA_DIR "/campaigns/sample.json");
  return loaded;
}

/// `request` with its body signed, and its Content-Length made to match, when the body is an
/// unsigned JSON object with "data".
std::string signedRequest(const std::string& request) {
  const auto end = request.find("\r\n\r\n");
  if (end == std::string::npos) return request;
  JSON body = JSON::parse(request.substr(end + 4), nullptr, false);
  if (!body.is_object() || !body.contains("data") ||
      body.contains(server::ReferenceServer::signatureMember))
    return request;
  body[server::ReferenceServer::signatureMember] =
      md5Hex(serialize(body["data"]) + server::ReferenceServer::salt);
  const std::string text = serialize(body);
  std::string head = request.substr(0, end);
  const std::string field = "\r\nContent-Length: ";
  if (const auto at = head.find(field); at != std::string::npos) {
    const auto valueEnd = head.find("\r\n", at + field.size());
    head.replace(at + field.size(), valueEnd - at - field.size(), std::to_string(text.size()));
  }
  return head + "\r\n\r\n" + text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  server::ServerOptions options;
  options.campaigns = campaigns();
  options.assetDirectory = ZELVORA_SERVER_DATA_DIR "/assets";
  options.vastDirectory = ZELVORA_SERVER_DATA_DIR "/vast";
  options.vastDelayLimitSeconds = 0;        // an input's wait would only be reported as a hang
  options.log = [](const std::string&) {};  // most inputs name an unknown app
  server::ReferenceServer server(options);
  const std::string response = server.respond(signedRequest(fuzz::text(data, size)));
  fuzz::check(response.empty() || response.rfind("HTTP/1.1 ", 0) == 0, "an HTTP response");
  // httplib turns an exception out of a handler into a 500 that names it.
  fuzz::check(response.rfind("HTTP/1.1 500", 0) != 0 &&
                  response.find("EXCEPTION_WHAT") == std::string::npos,
              "no handler threw");
  return 0;
}
