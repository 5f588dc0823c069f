#include "adunit/Ad.h"

#include <cassert>
#include <cmath>

#include "ControllerAccess.h"
#include "EventReasons.h"
#include "RESTClient.h"
#include "ShowingScreens.h"
#include "adunit/rendering/AdContainerView.h"
#include "adunit/rendering/Constraints.h"
#include "adunit/rendering/InterfaceScale.h"
#include "net/JsonReading.h"
#include "net/Url.h"
#include "util/Time.h"
#include "zelvora/Log.h"
#include "zelvora/ZelController.h"
#include "zelvora/platform/ui/ActivityIndicatorView.h"
#include "zelvora/platform/ui/Application.h"
#include "zelvora/platform/ui/Button.h"
#include "zelvora/platform/ui/Touch.h"
#include "zelvora/platform/ui/ViewController.h"

namespace zelvora {

namespace {
/// Store addresses go to the system instead of the web view.
bool isAppStoreAddress(const std::string& url) {
  return url.find("itunes") != std::string::npos;
}

AdFormat formatOf(const JSON& adObject) {
  const auto format = adFormatFromString(stringValue(member(member(adObject, "ad"), "subtype")));
  // The factories build ad units for the known formats only.
  assert(format.has_value());
  return format.value_or(AdFormat::videoVast);
}
}  // namespace

Ad::Ad(const JSON& initWithData)
    : id_(stringValue(member(initWithData, "adId"))),
      data_(member(member(initWithData, "ad"), "data")),
      offering_(member(initWithData, "offering")),
      format_(formatOf(initWithData)) {}

void Ad::trigger(Event event) {
  if (placementId) internal::ControllerAccess::triggerPlacementEvent(event, *placementId);
}

void Ad::failToShow(ZelError reason, const std::string& message) {
  if (placementId) reportFailedToShow(*placementId, reason, message);
}

void Ad::loadSucceeded() {
  isLoaded = true;
  if (auto delegate = preloadDelegate.lock()) delegate->onAdLoaded(*this);
}

void Ad::loadFailed(ZelError reason, const std::string& message) {
  isLoaded = false;
  log(LogLevel::warning, "ZelvoraFramework - Ad " + id_ + " of placement " +
                             placementId.value_or("") + " could not be loaded: " + message);
  if (auto delegate = preloadDelegate.lock()) delegate->onAdFailedToLoad(*this, reason, message);
}

void Ad::readinessChanged() {
  if (auto delegate = preloadDelegate.lock()) delegate->onAdReadinessChanged(*this);
}

void Ad::callImpBeacon() {
  trigger(Event::adShown);
  RESTClient::callBeacon(asString(member(data_, "imp")));
  RESTClient::callBeacon(asString(member(data_, "extraImpBeacon")));
}

void Ad::callDisplayTimeBeacon(double closeTime) {
  if (!openTime) return;
  auto url = asString(member(data_, "adCloseBeaconUrl"));
  if (!url) return;
  // Time the window spent hidden was time no one saw the ad.
  double seconds = closeTime - *openTime;
  if (const auto window = platform::Application::shared().keyWindow())
    seconds -= window->hiddenSeconds(*openTime, closeTime);
  // std::round rounds halves away from zero; clamp what no 64-bit integer can hold.
  const std::int64_t duration = std::isfinite(seconds) && std::fabs(seconds) < 9.2e18
                                    ? static_cast<std::int64_t>(std::round(seconds))
                                    : 0;
  const std::string macro = "{length}";
  const std::string text = std::to_string(duration);
  for (auto at = url->find(macro); at != std::string::npos; at = url->find(macro, at + text.size()))
    url->replace(at, macro.size(), text);
  RESTClient::callBeacon(url);
  openTime.reset();
}

void Ad::onViewControllerAppeared() {
  if (!openTime) openTime = monotonicTime();
}

void Ad::onViewControllerDisappeared() {
  callDisplayTimeBeacon(monotonicTime());
  trigger(Event::adClose);
}

void Ad::doRedirect(const std::string& url) {
  using namespace platform;
  trigger(Event::adClick);
  isAppStoreRedirected = false;
  if (!isValidUrl(url)) return;
  auto root = rootPresentingVC.lock();
  auto shown = root ? root->presentedViewController() : nullptr;
  if (!shown) return;  // nothing on screen to lay the landing page over

  const auto shownView = shown->view();
  auto webView = WebView::make(shownView->bounds());
  webView->accessibilityIdentifier = "click-through";
  auto indicator = ActivityIndicatorView::make(ActivityIndicatorStyle::whiteLarge);
  indicator->color = Color::gray();
  indicator->setCenter(shownView->center());
  indicator->startAnimating();
  redirectIndicator_ = indicator;
  auto goBack = Button::make(ButtonType::system);
  goBack->setTitle("Go Back", ControlState::normal);
  goBack->setTitleColor(Color::white(), ControlState::normal);
  goBack->backgroundColor = Color::black().withAlpha(0.75);
  goBack->layer.borderColor = Color::white();
  goBack->accessibilityIdentifier = "go-back";
  goBack->addTarget(shared_from_this(), &Ad::dismissRedirectView, ControlEvent::touchUpInside);
  goBack->accessibilityLabel = "Go Back";
  // Escape from the landing page leaves it as "Go Back" does.
  webView->accessibilityPerformEscape = goBack->accessibilityPerformEscape = tapLater(goBack);

  const auto host = shown->presentedViewController() ? shown->presentedViewController() : shown;
  const auto hostView = host->view();
  hostView->addSubview(webView);
  hostView->addSubview(indicator);
  hostView->addSubview(goBack);
  // The interstitial's close button stays the way out, above the page.
  if (auto container = std::dynamic_pointer_cast<AdContainerView>(hostView))
    hostView->addSubview(container->closeButton);
  followTheHostView(hostView, webView, indicator, goBack);
  webView->navigationDelegate = weak_from_this();
  webView->load(URLRequest{url});
}

void Ad::followTheHostView(const std::shared_ptr<platform::View>& hostView,
                           const std::shared_ptr<platform::View>& webView,
                           const std::shared_ptr<platform::View>& indicator,
                           const std::shared_ptr<platform::Button>& goBack) {
  // Where the click put them now, and still there (with "Go Back" reachable) after a turn.
  using platform::LayoutAttribute;
  for (const auto& view : {webView, indicator, std::shared_ptr<platform::View>(goBack)})
    view->translatesAutoresizingMaskIntoConstraints = false;
  for (auto edge : {LayoutAttribute::leading, LayoutAttribute::trailing, LayoutAttribute::top,
                    LayoutAttribute::bottom})
    constrain(webView, edge, hostView, edge, 0);
  constrain(indicator, LayoutAttribute::centerX, hostView, LayoutAttribute::centerX, 0);
  constrain(indicator, LayoutAttribute::centerY, hostView, LayoutAttribute::centerY, 0);
  // A button of a size that reads and takes a finger at any window's size, clear of the corner:
  // a phone's sizes, scaled with the window.
  goBack->titleFont = {"Helvetica", 17, true};
  goBack->layer.borderWidth = 2;
  goBack->layer.cornerRadius = 22;
  ScaledLayout layout;
  layout.add(goBack);
  layout.add(constrain(goBack, LayoutAttribute::leading, hostView, LayoutAttribute::leading, 16));
  layout.add(constrain(goBack, LayoutAttribute::bottom, hostView, LayoutAttribute::bottom, -16));
  layout.add(constrainSize(goBack, LayoutAttribute::width, 120));
  layout.add(constrainSize(goBack, LayoutAttribute::height, 44));
  if (auto container = std::dynamic_pointer_cast<AdContainerView>(hostView)) {
    container->scaleWithContainer(std::move(layout));
  } else {
    layout.apply(interfaceScale(hostView->bounds().size()));
  }
}

void Ad::dismissRedirectView() {
  dismissPresented();
}

void Ad::presentFirstScreen(const std::shared_ptr<platform::ViewController>& presenter,
                            const std::shared_ptr<platform::ViewController>& controller,
                            std::function<void()> completion) {
  if (!presenter) return;
  if (placementId) internal::ControllerAccess::screens().expect(*placementId, presenter);
  presenter->present(controller, true, std::move(completion));
}

void Ad::endLostShowing(bool appeared) {
  openTime.reset();
  if (appeared) {
    trigger(Event::adClose);
  } else {
    failToShow(ZelError::interrupted, "the platform it was being shown on is gone");
  }
}

void Ad::dismissPresented() {
  if (auto root = rootPresentingVC.lock()) root->dismiss(false);
}

void Ad::redirect(const std::string& url) {
  auto& application = platform::Application::shared();
  if (application.canOpenURL(url)) application.open(url);
}

bool Ad::isShownClickThrough(const platform::WebView& webView) {
  const auto window = platform::Application::shared().keyWindow();
  return window && webView.isDescendant(*window);
}

void Ad::webViewDidReceiveServerRedirectForProvisionalNavigation(platform::WebView& webView,
                                                                 platform::Navigation) {
  const auto url = webView.url();
  if (url && isAppStoreAddress(*url)) {
    isAppStoreRedirected = true;
    appStoreUrl = *url;
  }
}

void Ad::webViewDidFinish(platform::WebView& webView, platform::Navigation) {
  if (auto indicator = redirectIndicator_.lock()) indicator->removeFromSuperview();
  const auto url = webView.url();
  if (!url || !isAppStoreAddress(*url)) return;
  log(LogLevel::info, "redirect url = " + *url);
  redirect(*url);
  if (isShownClickThrough(webView)) dismissPresented();
}

void Ad::webViewDidFailProvisionalNavigation(platform::WebView& webView, platform::Navigation,
                                             const platform::WebError&) {
  if (isAppStoreRedirected == true && appStoreUrl) redirect(*appStoreUrl);
  if (isShownClickThrough(webView)) dismissPresented();
}

void Ad::webViewWebContentProcessDidTerminate(platform::WebView& webView,
                                              platform::WebContentTermination) {
  if (isShownClickThrough(webView)) dismissPresented();
}

}  // namespace zelvora
