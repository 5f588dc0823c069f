/*
 * mraid.js: the MRAID 3.0 library of Zelvora creatives, served from the asset base URL.
 *
 * The SDK runs this file before the creative's own scripts, after it has written the
 * environment (window.MRAID_ENV) and the first properties (window.mraidData: version, state
 * "loading", isViewable false, placementType "interstitial"). A creative usually loads it
 * again with <script src="mraid.js"></script>: the second run keeps what the first one set
 * up (listeners, readiness).
 *
 * The SDK talks to the page by writing window.mraidData.<name> and by calling
 * mraidController.triggerEvent(name, params); the library reads window.mraidData afresh on
 * every call, so getters follow the SDK's writes. The page talks to the SDK by posting
 * {name, params} to the "mraidHostBridge" message handler; the SDK understands "open" and
 * "playVideo" (params: a URL), "close", "unload" and "fallback", nothing else.
 *
 * Choices this library makes where MRAID leaves room:
 * - A "ready" listener added after "ready" was delivered is called once, asynchronously
 *   (unless removed first). Creatives that check mraid.getState() first are not affected:
 *   they add no listener once the state is no longer "loading".
 * - The SDK never sends "viewableChange": the library derives it. From "ready" on, after the
 *   listeners of each event the SDK triggers, it compares mraid.isViewable() with the value
 *   it last reported (at first false) and fires viewableChange(isViewable) on a difference.
 *   On show that is right after "ready"; on close right after stateChange("hidden").
 * - What the SDK does not carry out (expand, resize, storePicture, createCalendarEvent,
 *   useCustomClose, orientation changes) fires "error" with a message and the action's
 *   name, and is not sent to the SDK.
 */
(function (window) {
  "use strict";

  // Second run: the first run's library (and its listeners) stays.
  if (window.mraid && window.mraidController) return;

  // The SDK writes window.mraidData.<name>; give those writes somewhere to land even when
  // the page was opened without the SDK (a creative tried out in a browser).
  window.mraidData = window.mraidData || {};

  var VERSION = "3.0";
  // Events a creative may listen to. The SDK never reports the audio volume; listeners of
  // "audioVolumeChange" are accepted, as MRAID 3.0 names the event, and never called.
  var EVENTS = {
    ready: true,
    error: true,
    stateChange: true,
    sizeChange: true,
    exposureChange: true,
    viewableChange: true,
    audioVolumeChange: true,
  };
  // Features the SDK may report as available that this container cannot carry out:
  // no calendar or photo calls, no location for the page, no VPAID.
  var UNAVAILABLE = { calendar: true, storePicture: true, location: true, vpaid: true };
  // The characters the SDK accepts in a URL (src/net/Url.cpp, isValidUrl): the SDK drops
  // anything else silently, the library tells the creative instead.
  var URL_TEXT = /^(?:[A-Za-z0-9\-._~:\/?#\[\]@!$&'()*+,;=]|%[0-9A-Fa-f]{2})+$/;

  var listeners = {}; // event name -> array of functions
  var readyDelivered = false; // the SDK has triggered "ready" in this page
  var pendingReady = []; // late "ready" listeners waiting for their asynchronous call
  var reportedViewable = false; // what the last viewableChange said
  var reportingError = false; // an "error" dispatch is under way
  var expandSize = {}; // width and height the creative set with setExpandProperties

  function log(message) {
    if (window.console && window.console.log) window.console.log("mraid: " + message);
  }

  /* The SDK's current value of `name`, read live. */
  function property(name) {
    var data = window.mraidData;
    return data ? data[name] : undefined;
  }

  function isObject(value) {
    return value !== null && typeof value === "object";
  }

  /* A copy of the SDK's object `name` with `fallback` for what it has not told yet: the
     creative gets its own object, and cannot change the SDK's by writing to it. */
  function objectProperty(name, fallback) {
    var value = property(name);
    var result = {};
    var key;
    for (key in fallback) if (fallback.hasOwnProperty(key)) result[key] = fallback[key];
    if (isObject(value))
      for (key in value) if (value.hasOwnProperty(key)) result[key] = value[key];
    return result;
  }

  function isSize(value) {
    return typeof value === "number" && isFinite(value) && value >= 0;
  }

  function isUrl(value) {
    return typeof value === "string" && URL_TEXT.test(value);
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

  /* Calls every listener of `name` with `args`; a failing listener does not stop the others. */
  function dispatch(name, args) {
    // A copy: a listener may add or remove listeners while it runs.
    var list = (listeners[name] || []).slice();
    for (var i = 0; i < list.length; i++) dispatchTo(list[i], name, args);
  }

  function dispatchTo(listener, name, args) {
    try {
      listener.apply(window, args);
    } catch (e) {
      log(name + " listener failed: " + e);
    }
  }

  /* The MRAID "error" event: listener(message, action). */
  function fail(message, action) {
    log(action + ": " + message);
    if (reportingError) return; // an error listener's own failing call ends here
    reportingError = true;
    try {
      dispatch("error", [message, action]);
    } finally {
      reportingError = false;
    }
  }

  function unsupported(action, reason) {
    return function () {
      fail(action + " is not supported: " + reason, action);
    };
  }

  function isListening(event, listener) {
    return (listeners[event] || []).indexOf(listener) >= 0;
  }

  /* Calls a "ready" listener added after "ready", once, after the current script. */
  function callLateReady(listener) {
    if (pendingReady.indexOf(listener) >= 0) return;
    pendingReady.push(listener);
    window.setTimeout(function () {
      pendingReady.splice(pendingReady.indexOf(listener), 1);
      if (isListening("ready", listener)) dispatchTo(listener, "ready", []);
    }, 0);
  }

  /* The SDK sends the visible rectangle as JSON text; listeners get an object (or null). */
  function rectangle(value) {
    if (typeof value !== "string") return isObject(value) ? value : null;
    try {
      return JSON.parse(value);
    } catch (e) {
      log("exposureChange: unreadable rectangle " + value);
      return null;
    }
  }

  window.mraidController = {
    /* The SDK's events: calls every listener of `name` with the items of `params`. */
    triggerEvent: function (name, params) {
      var args = params && typeof params.length === "number" ? [].slice.call(params) : [];
      if (name === "exposureChange") args[1] = rectangle(args[1]);
      if (name === "ready") readyDelivered = true;
      dispatch(name, args);
      if (!readyDelivered) return;
      var viewable = window.mraid.isViewable();
      if (viewable !== reportedViewable) {
        reportedViewable = viewable;
        dispatch("viewableChange", [viewable]);
      }
    },
  };

  window.mraid = {
    // ---- The container and its state

    getVersion: function () {
      var environment = window.MRAID_ENV;
      return (environment && environment.version) || property("version") || VERSION;
    },
    /* "loading", "default" or "hidden", as the SDK last wrote it. */
    getState: function () {
      return property("state") || "loading";
    },
    getPlacementType: function () {
      return property("placementType") || "interstitial";
    },
    isViewable: function () {
      return property("isViewable") === true;
    },
    /* What the SDK reports, less what this container cannot carry out whatever the device
       allows (see UNAVAILABLE). "sms" and "tel" links go through mraid.open. */
    supports: function (feature) {
      var features = property("supports");
      return isObject(features) && features[feature] === true && !UNAVAILABLE[feature];
    },
    /* The SDK gives the page no location. */
    getLocation: function () {
      return -1;
    },

    // ---- Sizes and positions, in points, known once the ad is shown (zeros before)

    getScreenSize: function () {
      return objectProperty("screenSize", { width: 0, height: 0 });
    },
    getMaxSize: function () {
      return objectProperty("maxSize", { width: 0, height: 0 });
    },
    getDefaultPosition: function () {
      return objectProperty("defaultPosition", { x: 0, y: 0, width: 0, height: 0 });
    },
    getCurrentPosition: function () {
      return objectProperty("currentPosition", { x: 0, y: 0, width: 0, height: 0 });
    },
    getCurrentAppOrientation: function () {
      return objectProperty("currentAppOrientation", { orientation: "portrait", locked: false });
    },

    // ---- Properties the creative may set

    /* The SDK's expand properties, with the width and height the creative set. The SDK
       always shows its own close control and the ad is modal. */
    getExpandProperties: function () {
      var properties = objectProperty("expandProperties", {
        width: 0,
        height: 0,
        useCustomClose: false,
        isModal: true,
      });
      if (expandSize.width !== undefined) properties.width = expandSize.width;
      if (expandSize.height !== undefined) properties.height = expandSize.height;
      return properties;
    },
    /* Keeps width and height (numbers, 0 or more); isModal is read-only. */
    setExpandProperties: function (properties) {
      var action = "setExpandProperties";
      if (!isObject(properties)) return fail("expects an object", action);
      var width = properties.width;
      var height = properties.height;
      if ((width !== undefined && !isSize(width)) || (height !== undefined && !isSize(height)))
        return fail("width and height must be numbers, 0 or more", action);
      if (width !== undefined) expandSize.width = width;
      if (height !== undefined) expandSize.height = height;
      if (properties.useCustomClose === true)
        fail("useCustomClose is not supported: the SDK always shows its close control", action);
    },
    getOrientationProperties: function () {
      return objectProperty("orientationProperties", {
        allowOrientationChange: true,
        forceOrientation: "none",
      });
    },
    /* The SDK neither locks nor forces the orientation: asking for either fires "error"
       and getOrientationProperties goes on telling what the SDK does. */
    setOrientationProperties: function (properties) {
      var action = "setOrientationProperties";
      if (!isObject(properties)) return fail("expects an object", action);
      var allow = properties.allowOrientationChange;
      var force = properties.forceOrientation;
      if (allow !== undefined && typeof allow !== "boolean")
        return fail("allowOrientationChange must be true or false", action);
      if (force !== undefined && force !== "portrait" && force !== "landscape" && force !== "none")
        return fail('forceOrientation must be "portrait", "landscape" or "none"', action);
      if (allow === false || (force !== undefined && force !== "none"))
        fail("the SDK does not lock or force the orientation", action);
    },

    // ---- Events

    addEventListener: function (event, listener) {
      var action = "addEventListener";
      if (!EVENTS.hasOwnProperty(event)) return fail("unknown event " + event, action);
      if (typeof listener !== "function") return fail("the listener must be a function", action);
      var list = (listeners[event] = listeners[event] || []);
      if (list.indexOf(listener) >= 0) return;
      list.push(listener);
      if (event === "ready" && readyDelivered) callLateReady(listener);
    },
    /* Without a listener, removes every listener of `event`. */
    removeEventListener: function (event, listener) {
      var action = "removeEventListener";
      if (!EVENTS.hasOwnProperty(event)) return fail("unknown event " + event, action);
      if (listener === undefined || listener === null) {
        delete listeners[event];
        return;
      }
      if (typeof listener !== "function") return fail("the listener must be a function", action);
      var list = listeners[event] || [];
      var at = list.indexOf(listener);
      if (at >= 0) list.splice(at, 1);
    },

    // ---- What the SDK carries out

    /* Opens `url` outside the ad (browser, store, tel: or sms: links). */
    open: function (url) {
      if (!isUrl(url)) return fail("expects a URL, not " + url, "open");
      post("open", url);
    },
    /* Plays the video at `url` over the ad, which stays open beneath. */
    playVideo: function (url) {
      if (!isUrl(url)) return fail("expects a URL, not " + url, "playVideo");
      post("playVideo", url);
    },
    /* Closes the ad; it must be on screen. */
    close: function () {
      var state = window.mraid.getState();
      if (state === "loading" || state === "hidden")
        return fail("the ad is not on screen (state " + state + ")", "close");
      post("close");
    },
    /* The creative asks to be taken away. */
    unload: function () {
      post("unload");
    },
    /* Zelvora extension: the creative has nothing to show; the SDK drops the ad and
       reports no fill. */
    fallback: function () {
      post("fallback");
    },

    // ---- What the SDK does not carry out

    expand: unsupported("expand", "the interstitial already fills the screen"),
    resize: unsupported("resize", "an interstitial cannot be resized"),
    storePicture: unsupported("storePicture", "the SDK stores no pictures"),
    createCalendarEvent: unsupported("createCalendarEvent", "the SDK has no calendar"),
    useCustomClose: unsupported("useCustomClose", "the SDK always shows its close control"),
  };
})(window);
