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
 * "playVideo" (params: a URL), "close", "unload", "fallback" and "setOrientationProperties"
 * (params: {allowOrientationChange, forceOrientation}), nothing else.
 *
 * Choices this library makes where MRAID leaves room:
 * - A "ready" listener added after "ready" was delivered is called once, asynchronously
 *   (unless removed first). Creatives that check mraid.getState() first are not affected:
 *   they add no listener once the state is no longer "loading".
 * - The SDK never sends "viewableChange": the library derives it. From "ready" on, after the
 *   listeners of each event the SDK triggers, it compares mraid.isViewable() with the value
 *   it last reported (at first false) and fires viewableChange(isViewable) on a difference.
 *   On show that is right after "ready"; on close right after stateChange("hidden").
 * - "exposureChange" listeners always get three arguments: the percentage, the visible
 *   rectangle and the occlusion rectangles (each null when there is none).
 * - What the SDK does not carry out (expand, resize, storePicture, createCalendarEvent,
 *   useCustomClose(true), initVpaid) fires "error" with a message and the action's name, and
 *   is not sent to the SDK. Resize properties are validated and kept in the page, since an
 *   interstitial never resizes.
 * - Listeners are called as the DOM calls them: one added during a dispatch waits for the
 *   next, one removed during a dispatch is not called in it.
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

  var listeners = {}; // event name -> array of {listener, removed}
  var readyDelivered = false; // the SDK has triggered "ready" in this page
  var pendingReady = []; // late "ready" listeners waiting for their asynchronous call
  var reportedViewable = false; // what the last viewableChange said
  var reportingError = false; // an "error" dispatch is under way
  var expandSize = {}; // width and height the creative set with setExpandProperties
  var resizeProperties = null; // what the creative set with setResizeProperties
  var orientationProperties = null; // what the creative set with setOrientationProperties
  var CLOSE_POSITIONS = ["top-left", "top-right", "center", "bottom-left", "bottom-right",
    "top-center", "bottom-center"];

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
    // A copy: one added meanwhile waits for the next dispatch; one removed is skipped.
    var list = (listeners[name] || []).slice();
    for (var i = 0; i < list.length; i++)
      if (!list[i].removed) dispatchTo(list[i].listener, name, args);
  }

  function indexOfListener(event, listener) {
    var list = listeners[event] || [];
    for (var i = 0; i < list.length; i++) if (list[i].listener === listener) return i;
    return -1;
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
    return indexOfListener(event, listener) >= 0;
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

  /* The SDK sends rectangles as JSON text; listeners get objects (or null). */
  function rectangle(value) {
    if (typeof value !== "string") return isObject(value) ? value : null;
    try {
      var parsed = JSON.parse(value);
      return isObject(parsed) ? parsed : null;
    } catch (e) {
      log("exposureChange: unreadable rectangle " + value);
      return null;
    }
  }

  function isNumber(value) {
    return typeof value === "number" && isFinite(value);
  }

  function copy(object) {
    var result = {};
    for (var key in object) if (object.hasOwnProperty(key)) result[key] = object[key];
    return result;
  }

  /* Why `properties` are not valid resize properties, or "" when they are. */
  function resizePropertiesProblem(properties) {
    if (!isObject(properties)) return "expects an object";
    var required = ["width", "height", "offsetX", "offsetY"];
    for (var i = 0; i < required.length; i++)
      if (!isNumber(properties[required[i]])) return required[i] + " must be a number";
    if (properties.width < 50 || properties.height < 50)
      return "width and height must be 50 or more (the close area must fit)";
    var close = properties.customClosePosition;
    if (close !== undefined && CLOSE_POSITIONS.indexOf(close) < 0)
      return "customClosePosition must be one of " + CLOSE_POSITIONS.join(", ");
    var offscreen = properties.allowOffscreen;
    if (offscreen !== undefined && typeof offscreen !== "boolean")
      return "allowOffscreen must be true or false";
    var max = window.mraid.getMaxSize();
    if (offscreen === false && max.width > 0 &&
        (properties.width > max.width || properties.height > max.height))
      return "larger than the maximum size while allowOffscreen is false";
    if (max.width > 0 && !closeAreaOnScreen(properties, close || "top-right", max))
      return "the close area would lie off screen";
    return "";
  }

  /* Whether the 50x50 close area of the ad resized by `properties` (moved by its offsets from
     where the ad is now) lies within the `max` area, as it must even when the ad may not. */
  function closeAreaOnScreen(properties, position, max) {
    var now = window.mraid.getCurrentPosition();
    var left = now.x + properties.offsetX, top = now.y + properties.offsetY;
    var side = 50;
    var x = position.indexOf("left") >= 0 ? left
      : position.indexOf("right") >= 0 ? left + properties.width - side
      : left + (properties.width - side) / 2;
    var y = position.indexOf("top") >= 0 ? top
      : position.indexOf("bottom") >= 0 ? top + properties.height - side
      : top + (properties.height - side) / 2;
    return x >= 0 && y >= 0 && x + side <= max.width && y + side <= max.height;
  }

  window.mraidController = {
    /* The SDK's events: calls every listener of `name` with the items of `params`. */
    triggerEvent: function (name, params) {
      var args = params && typeof params.length === "number" ? [].slice.call(params) : [];
      if (name === "exposureChange") {
        var occlusions = null;
        try {
          occlusions = typeof args[2] === "string" ? JSON.parse(args[2]) : args[2] || null;
        } catch (e) {
          log("exposureChange: unreadable occlusions " + args[2]);
        }
        args = [args[0], rectangle(args[1]), Array.isArray(occlusions) ? occlusions : null];
      }
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
      var current = objectProperty("orientationProperties", {
        allowOrientationChange: true,
        forceOrientation: "none",
      });
      return orientationProperties ? copy(orientationProperties) : current;
    },
    /* The SDK holds the interstitial in the forced orientation (or in the current one when
       allowOrientationChange is false), or lets it follow the device with "none". */
    setOrientationProperties: function (properties) {
      var action = "setOrientationProperties";
      if (!isObject(properties)) return fail("expects an object", action);
      var allow = properties.allowOrientationChange;
      var force = properties.forceOrientation;
      if (allow !== undefined && typeof allow !== "boolean")
        return fail("allowOrientationChange must be true or false", action);
      if (force !== undefined && force !== "portrait" && force !== "landscape" && force !== "none")
        return fail('forceOrientation must be "portrait", "landscape" or "none"', action);
      var next = window.mraid.getOrientationProperties();
      if (allow !== undefined) next.allowOrientationChange = allow;
      if (force !== undefined) next.forceOrientation = force;
      orientationProperties = next;
      post("setOrientationProperties", copy(next));
    },
    /* An interstitial never resizes, but its resize properties are kept as MRAID asks. */
    getResizeProperties: function () {
      return copy(resizeProperties || {
        width: 0,
        height: 0,
        offsetX: 0,
        offsetY: 0,
        customClosePosition: "top-right",
        allowOffscreen: true,
      });
    },
    setResizeProperties: function (properties) {
      var problem = resizePropertiesProblem(properties);
      if (problem) return fail(problem, "setResizeProperties");
      resizeProperties = {
        width: properties.width,
        height: properties.height,
        offsetX: properties.offsetX,
        offsetY: properties.offsetY,
        customClosePosition: properties.customClosePosition || "top-right",
        allowOffscreen: properties.allowOffscreen !== false,
      };
    },

    // ---- Events

    addEventListener: function (event, listener) {
      var action = "addEventListener";
      if (!EVENTS.hasOwnProperty(event)) return fail("unknown event " + event, action);
      if (typeof listener !== "function") return fail("the listener must be a function", action);
      var list = (listeners[event] = listeners[event] || []);
      if (isListening(event, listener)) return;
      list.push({ listener: listener, removed: false });
      if (event === "ready" && readyDelivered) callLateReady(listener);
    },
    /* Without a listener, removes every listener of `event`. */
    removeEventListener: function (event, listener) {
      var action = "removeEventListener";
      if (!EVENTS.hasOwnProperty(event)) return fail("unknown event " + event, action);
      var list = listeners[event] || [];
      if (listener === undefined || listener === null) {
        for (var i = 0; i < list.length; i++) list[i].removed = true;
        delete listeners[event];
        return;
      }
      if (typeof listener !== "function") return fail("the listener must be a function", action);
      var at = indexOfListener(event, listener);
      if (at < 0) return;
      list[at].removed = true;
      list.splice(at, 1);
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
    initVpaid: unsupported("initVpaid", "the SDK plays no VPAID"),
    /* Deprecated in MRAID 3.0: false is what the SDK does anyway. */
    useCustomClose: function (useCustomClose) {
      if (useCustomClose === false) return;
      fail("useCustomClose is not supported: the SDK always shows its close control",
        "useCustomClose");
    },
  };
})(window);
