/*
 * mraid.js: the MRAID library of Zelvora creatives, served from the asset base URL.
 *
 * The SDK runs this file before the creative's own scripts, after it has written the
 * environment (window.MRAID_ENV) and the first properties (window.mraidData). A creative
 * usually loads it again with <script src="mraid.js"></script>: the second run keeps what
 * the first one set up.
 *
 * The SDK talks to the page by writing window.mraidData.<name> and by calling
 * mraidController.triggerEvent(name, params). The page talks to the SDK by posting
 * {name, params} to the "mraidHostBridge" message handler.
 */
(function (window) {
  "use strict";

  if (window.mraid && window.mraidController) return;

  var data = (window.mraidData = window.mraidData || {});
  var listeners = {}; // event name -> array of functions

  function log(message) {
    if (window.console && window.console.log) window.console.log("mraid: " + message);
  }

  function post(name, params) {
    var handlers = window.webkit && window.webkit.messageHandlers;
    var bridge = handlers && handlers.mraidHostBridge;
    if (!bridge) {
      log(name + " ignored: no host bridge");
      return;
    }
    var message = { name: name };
    if (params !== undefined) message.params = params;
    bridge.postMessage(message);
  }

  window.mraidController = {
    /* Calls every listener of `name` with the items of `params` as its arguments. */
    triggerEvent: function (name, params) {
      var args = params || [];
      // The SDK sends the visible rectangle as JSON text; listeners get an object.
      if (name === "exposureChange" && typeof args[1] === "string") {
        try {
          args = [args[0], JSON.parse(args[1])].concat(args.slice(2));
        } catch (e) {
          log("exposureChange: unreadable rectangle");
        }
      }
      // A copy: a listener may add or remove listeners while it runs.
      var list = (listeners[name] || []).slice();
      for (var i = 0; i < list.length; i++) {
        try {
          list[i].apply(window, args);
        } catch (e) {
          log(name + " listener failed: " + e);
        }
      }
    },
  };

  function property(name, fallback) {
    return data[name] !== undefined ? data[name] : fallback;
  }

  window.mraid = {
    getVersion: function () {
      var environment = window.MRAID_ENV;
      return (environment && environment.version) || data.version;
    },
    getState: function () {
      return property("state", "loading");
    },
    getPlacementType: function () {
      return property("placementType", "interstitial");
    },
    isViewable: function () {
      return property("isViewable", false) === true;
    },
    supports: function (feature) {
      var supports = property("supports", {});
      return supports[feature] === true;
    },
    getScreenSize: function () {
      return property("screenSize", { width: 0, height: 0 });
    },
    getMaxSize: function () {
      return property("maxSize", { width: 0, height: 0 });
    },
    getDefaultPosition: function () {
      return property("defaultPosition", { x: 0, y: 0, width: 0, height: 0 });
    },
    getCurrentPosition: function () {
      return property("currentPosition", { x: 0, y: 0, width: 0, height: 0 });
    },

    addEventListener: function (event, listener) {
      if (typeof listener !== "function") return;
      var list = (listeners[event] = listeners[event] || []);
      if (list.indexOf(listener) < 0) list.push(listener);
    },
    /* Without a listener, removes every listener of `event`. */
    removeEventListener: function (event, listener) {
      var list = listeners[event];
      if (!list) return;
      if (listener === undefined) {
        delete listeners[event];
        return;
      }
      var at = list.indexOf(listener);
      if (at >= 0) list.splice(at, 1);
    },

    open: function (url) {
      post("open", String(url));
    },
    close: function () {
      post("close");
    },
    unload: function () {
      post("unload");
    },
    playVideo: function (url) {
      post("playVideo", String(url));
    },
    /* The creative has nothing to show: the SDK drops the ad and reports no fill. */
    fallback: function () {
      post("fallback");
    },
  };
})(window);
