#include "vast/VastDocument.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <memory>
#include "util/Text.h"

namespace zelvora::vast {
namespace {

// Reads the unsigned decimal digits at the front of `text`, between `minDigits` and `maxDigits`
// of them, and drops them from `text`.
std::optional<long> takeDigits(std::string_view& text, std::size_t minDigits,
                               std::size_t maxDigits) {
  std::size_t count = 0;
  long value = 0;
  while (count < text.size() && count < maxDigits &&
         std::isdigit(static_cast<unsigned char>(text[count])))
    value = value * 10 + (text[count++] - '0');
  if (count < minDigits) return std::nullopt;
  text.remove_prefix(count);
  return value;
}

bool takeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// Digits after a decimal point, as the fraction they stand for; none without a digit.
std::optional<double> takeFraction(std::string_view& text) {
  double value = 0;
  double scale = 0.1;
  std::size_t count = 0;
  for (; count < text.size() && std::isdigit(static_cast<unsigned char>(text[count])); ++count) {
    value += (text[count] - '0') * scale;
    scale /= 10;
  }
  if (count == 0) return std::nullopt;
  text.remove_prefix(count);
  return value;
}

// libxml2: the parse's refusals, kept where its callbacks find them (the context's _private).
struct Guard {
  int maxDepth = 0;
  int depth = 0;
  std::string refusal;
};

void refuse(void* context, const char* why) {
  const auto parser = static_cast<xmlParserCtxtPtr>(context);
  auto& guard = *static_cast<Guard*>(parser->_private);
  if (guard.refusal.empty()) guard.refusal = why;
  xmlStopParser(parser);
}

// A DTD is the way to entity expansion and external loads: the parser stops at its
// "<!DOCTYPE", before any declaration inside. (Markup in CDATA, as an HTML companion's
// "<!DOCTYPE html>", is text, not a DTD.)
void onInternalSubset(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  refuse(context, "the document has a DTD");
}

void onStartElement(void* context, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri,
                    int namespaceCount, const xmlChar** namespaces, int attributeCount,
                    int defaultedCount, const xmlChar** attributes) {
  auto& guard = *static_cast<Guard*>(static_cast<xmlParserCtxtPtr>(context)->_private);
  if (++guard.depth > guard.maxDepth) return refuse(context, "elements are nested too deep");
  xmlSAX2StartElementNs(context, name, prefix, uri, namespaceCount, namespaces, attributeCount,
                        defaultedCount, attributes);
}

void onEndElement(void* context, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri) {
  --static_cast<Guard*>(static_cast<xmlParserCtxtPtr>(context)->_private)->depth;
  xmlSAX2EndElementNs(context, name, prefix, uri);
}

// A template: the error's constness changed with libxml2 2.12.
template <typename Error>
void dropError(void*, Error) {}

// Errors libxml2 raises without the parser's context (a failed encoding conversion) go to the
// thread's handler: it drops them for the parse's length, then the host's handler is back.
class SilentErrors {
 public:
  SilentErrors() : handler_(xmlStructuredError), context_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(nullptr, dropError);
  }
  ~SilentErrors() { xmlSetStructuredErrorFunc(context_, handler_); }
  SilentErrors(const SilentErrors&) = delete;
  SilentErrors& operator=(const SilentErrors&) = delete;

 private:
  xmlStructuredErrorFunc handler_;
  void* context_;
};

struct FreeDoc {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct FreeParser {
  void operator()(xmlParserCtxt* parser) const { xmlFreeParserCtxt(parser); }
};
using DocPtr = std::unique_ptr<xmlDoc, FreeDoc>;

// The tree of `xml`, or none with the reason in `refusal`. Nothing is ever loaded: no
// network, no DTD, no entity substitution, libxml2's own size limits (no XML_PARSE_HUGE).
DocPtr readTree(std::string_view xml, int maxDepth, std::string& refusal) {
  xmlInitParser();
  SilentErrors silent;
  std::unique_ptr<xmlParserCtxt, FreeParser> parser(
      xmlCreateMemoryParserCtxt(xml.data(), static_cast<int>(xml.size())));
  if (!parser) {
    refusal = "libxml2 could not start a parser";
    return nullptr;
  }
  xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  Guard guard;
  guard.maxDepth = maxDepth;
  parser->_private = &guard;
  parser->sax->serror = dropError;
  parser->sax->internalSubset = onInternalSubset;
  parser->sax->startElementNs = onStartElement;
  parser->sax->endElementNs = onEndElement;
  xmlParseDocument(parser.get());
  DocPtr doc(parser->myDoc);
  parser->myDoc = nullptr;
  if (!guard.refusal.empty()) {
    refusal = guard.refusal;
    return nullptr;
  }
  if (!parser->wellFormed || !doc) {
    refusal = "the document is not well-formed XML";
    return nullptr;
  }
  return doc;
}

// The tree, read leniently: a missing element reads as nothing, a missing text as "".

bool named(const xmlNode* node, const char* name) {
  return node && node->type == XML_ELEMENT_NODE &&
         xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name));
}

std::vector<const xmlNode*> children(const xmlNode* parent, const char* name) {
  std::vector<const xmlNode*> found;
  if (!parent) return found;
  for (const xmlNode* node = parent->children; node; node = node->next)
    if (named(node, name)) found.push_back(node);
  return found;
}

const xmlNode* child(const xmlNode* parent, const char* name) {
  if (!parent) return nullptr;
  for (const xmlNode* node = parent->children; node; node = node->next)
    if (named(node, name)) return node;
  return nullptr;
}

// The element's own text and CDATA, trimmed.
std::string text(const xmlNode* element) {
  std::string content;
  if (!element) return content;
  for (const xmlNode* node = element->children; node; node = node->next)
    if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content)
      content += reinterpret_cast<const char*>(node->content);
  return std::string(trimmed(content));
}

// The non-empty texts of the children named `name`.
std::vector<std::string> texts(const xmlNode* parent, const char* name) {
  std::vector<std::string> found;
  for (const xmlNode* node : children(parent, name))
    if (auto value = text(node); !value.empty()) found.push_back(std::move(value));
  return found;
}

std::string attribute(const xmlNode* element, const char* name) {
  xmlChar* value = xmlGetNoNsProp(element, reinterpret_cast<const xmlChar*>(name));
  if (!value) return {};
  std::string result(trimmed(reinterpret_cast<const char*>(value)));
  xmlFree(value);
  return result;
}

std::optional<int> wholeNumber(std::string_view text) {
  const auto value = takeDigits(text, 1, 9);
  if (!value || !text.empty()) return std::nullopt;
  return static_cast<int>(*value);
}

int numberAttribute(const xmlNode* element, const char* name) {
  return wholeNumber(attribute(element, name)).value_or(0);
}

bool flagAttribute(const xmlNode* element, const char* name, bool fallback) {
  const auto value = attribute(element, name);
  if (value == "true" || value == "1") return true;
  if (value == "false" || value == "0") return false;
  return fallback;
}

Resource resourceOf(const xmlNode* parent) {
  Resource resource;
  for (const xmlNode* node = parent->children; node && resource.empty(); node = node->next) {
    if (named(node, "StaticResource")) {
      resource.staticUrl = text(node);
      resource.creativeType = attribute(node, "creativeType");
    } else if (named(node, "HTMLResource")) {
      resource.html = text(node);
    } else if (named(node, "IFrameResource")) {
      resource.iframeUrl = text(node);
    }
  }
  return resource;
}

// The <Tracking> elements of the <TrackingEvents> under `parent`.
std::vector<TrackingEvent> trackingEvents(const xmlNode* parent) {
  std::vector<TrackingEvent> events;
  for (const xmlNode* node : children(child(parent, "TrackingEvents"), "Tracking"))
    if (auto url = text(node); !url.empty())
      events.push_back({attribute(node, "event"), std::move(url), attribute(node, "offset")});
  return events;
}

Icon iconOf(const xmlNode* node) {
  Icon icon;
  icon.width = numberAttribute(node, "width");
  icon.height = numberAttribute(node, "height");
  icon.xPosition = attribute(node, "xPosition");
  icon.yPosition = attribute(node, "yPosition");
  icon.offset = attribute(node, "offset");
  icon.duration = attribute(node, "duration");
  icon.resource = resourceOf(node);
  const auto* clicks = child(node, "IconClicks");
  icon.clickThrough = text(child(clicks, "IconClickThrough"));
  icon.clickTracking = texts(clicks, "IconClickTracking");
  icon.viewTracking = texts(node, "IconViewTracking");
  return icon;
}

MediaFile mediaFileOf(const xmlNode* node) {
  MediaFile file;
  file.url = text(node);
  file.delivery = attribute(node, "delivery");
  file.type = attribute(node, "type");
  file.width = numberAttribute(node, "width");
  file.height = numberAttribute(node, "height");
  file.bitrate = numberAttribute(node, "bitrate");
  file.minBitrate = numberAttribute(node, "minBitrate");
  file.maxBitrate = numberAttribute(node, "maxBitrate");
  file.apiFramework = attribute(node, "apiFramework");
  return file;
}

// A wrapper's linear only adds trackers to the ad it leads to.
Linear linearOf(const xmlNode* node, bool inWrapper) {
  Linear linear;
  linear.trackingEvents = trackingEvents(node);
  const auto* clicks = child(node, "VideoClicks");
  linear.clickTracking = texts(clicks, "ClickTracking");
  for (const xmlNode* icon : children(child(node, "Icons"), "Icon"))
    linear.icons.push_back(iconOf(icon));
  if (inWrapper) return linear;
  linear.duration = parseTimecode(text(child(node, "Duration")));
  linear.skipOffset = attribute(node, "skipoffset");
  linear.clickThrough = text(child(clicks, "ClickThrough"));
  for (const xmlNode* file : children(child(node, "MediaFiles"), "MediaFile"))
    linear.mediaFiles.push_back(mediaFileOf(file));
  return linear;
}

Companion companionOf(const xmlNode* node) {
  Companion companion;
  companion.width = numberAttribute(node, "width");
  companion.height = numberAttribute(node, "height");
  companion.resource = resourceOf(node);
  companion.clickThrough = text(child(node, "CompanionClickThrough"));
  companion.clickTracking = texts(node, "CompanionClickTracking");
  companion.trackingEvents = trackingEvents(node);
  return companion;
}

void readVerifications(const xmlNode* adVerifications, std::vector<Verification>& into) {
  for (const xmlNode* node : children(adVerifications, "Verification")) {
    Verification verification{attribute(node, "vendor"), {}};
    for (auto& event : trackingEvents(node))
      if (event.event == "verificationNotExecuted")
        verification.notExecutedUrls.push_back(std::move(event.url));
    into.push_back(std::move(verification));
  }
}

// None when the <Ad> holds neither an <InLine> nor a <Wrapper>.
std::optional<Ad> adOf(const xmlNode* node) {
  const xmlNode* body = node->children;
  while (body && !named(body, "InLine") && !named(body, "Wrapper")) body = body->next;
  if (!body) return std::nullopt;

  Ad ad;
  ad.id = attribute(node, "id");
  ad.sequence = wholeNumber(attribute(node, "sequence"));
  ad.isWrapper = named(body, "Wrapper");
  if (ad.isWrapper) {
    ad.adTagUri = text(child(body, "VASTAdTagURI"));
    ad.followAdditionalWrappers = flagAttribute(body, "followAdditionalWrappers", true);
    ad.allowMultipleAds = flagAttribute(body, "allowMultipleAds", false);
  }
  ad.impressions = texts(body, "Impression");
  ad.errors = texts(body, "Error");
  for (const xmlNode* creative : children(child(body, "Creatives"), "Creative")) {
    for (const xmlNode* linear : children(creative, "Linear"))
      ad.linears.push_back(linearOf(linear, ad.isWrapper));
    for (const xmlNode* companion : children(child(creative, "CompanionAds"), "Companion"))
      ad.companions.push_back(companionOf(companion));
  }
  readVerifications(child(body, "AdVerifications"), ad.verifications);
  // VAST 3 carries them in an extension.
  for (const xmlNode* extension : children(child(body, "Extensions"), "Extension"))
    if (attribute(extension, "type") == "AdVerifications")
      readVerifications(child(extension, "AdVerifications"), ad.verifications);
  return ad;
}

ParseResult failure(VastError error, std::string message) {
  ParseResult result;
  result.error = error;
  result.message = std::move(message);
  return result;
}

}  // namespace

ParseResult parse(std::string_view xml, const ParseLimits& limits) {
  if (xml.empty()) return failure(VastError::xmlParse, "the document is empty");
  if (xml.size() > limits.maxBytes || xml.size() > static_cast<std::size_t>(INT_MAX))
    return failure(VastError::xmlParse,
                   "the document is over " + std::to_string(limits.maxBytes) + " bytes");
  std::string refusal;
  const DocPtr doc = readTree(xml, limits.maxDepth, refusal);
  if (!doc) return failure(VastError::xmlParse, refusal);
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!named(root, "VAST")) return failure(VastError::schema, "the root element is not <VAST>");

  Document document;
  document.version = attribute(root, "version");
  document.errors = texts(root, "Error");
  ParseResult result;
  result.errorUrls = document.errors;
  const auto major = document.version.substr(0, 2);
  if (major != "2." && major != "3." && major != "4.") {
    result.error = VastError::version;
    result.message = "VAST version \"" + document.version + "\" is not supported";
    return result;
  }
  for (const xmlNode* node : children(root, "Ad")) {
    auto ad = adOf(node);
    if (!ad) {
      result.error = VastError::schema;
      result.message = "an <Ad> has neither <InLine> nor <Wrapper>";
      return result;
    }
    document.ads.push_back(std::move(*ad));
  }
  result.document = std::move(document);
  return result;
}

std::optional<double> parseTimecode(std::string_view text) {
  const auto hours = takeDigits(text, 1, 6);
  if (!hours || !takeChar(text, ':')) return std::nullopt;
  const auto minutes = takeDigits(text, 2, 2);
  if (!minutes || *minutes > 59 || !takeChar(text, ':')) return std::nullopt;
  const auto seconds = takeDigits(text, 2, 2);
  if (!seconds || *seconds > 59) return std::nullopt;
  double fraction = 0;
  if (takeChar(text, '.')) {
    const auto digits = takeFraction(text);
    if (!digits) return std::nullopt;
    fraction = *digits;
  }
  if (!text.empty()) return std::nullopt;
  return *hours * 3600.0 + *minutes * 60.0 + *seconds + fraction;
}

std::optional<double> parseOffset(std::string_view text, double duration) {
  if (!text.empty() && text.back() == '%') {
    text.remove_suffix(1);
    const auto whole = takeDigits(text, 1, 3);
    if (!whole) return std::nullopt;
    double percent = *whole;
    if (takeChar(text, '.')) {
      const auto fraction = takeFraction(text);
      if (!fraction) return std::nullopt;
      percent += *fraction;
    }
    if (!text.empty() || percent > 100 || !std::isfinite(duration) || duration < 0)
      return std::nullopt;
    return duration * percent / 100;
  }
  return parseTimecode(text);
}

}  // namespace zelvora::vast
