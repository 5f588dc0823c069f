// The SDK's side of the page contract of server/assets/mraid.js, in a node:vm context: the
// scripts below are the texts HtmlAd evaluates (src/adunit/HtmlAdMraidScripts.cpp), in the
// order InterstitialHtml sends them.
"use strict";
const fs = require("node:fs");
const vm = require("node:vm");

const LIBRARY = fs.readFileSync(`${__dirname}/../../server/assets/mraid.js`, "utf8");

const pretty = (value) => JSON.stringify(value, null, 2); // as JSON::dump(2)
const property = (name, text) => `window.mraidData.${name} = ${text};`;
const trigger = (event, ...params) =>
  `mraidController.triggerEvent(${JSON.stringify(event)}, [${params.join(", ")}]);`;

const SUPPORTS = { sms: false, tel: false, calendar: false, storePicture: false,
  inlineVideo: true, vpaid: false, location: false };
const SCREEN = { width: 414, height: 896 };
const POSITION = { x: 20, y: 40, width: 374, height: 816 };

// Each item is one evaluateJavaScript call.
const INITIAL_DATA =
  `window.MRAID_ENV = ${pretty({ version: "3.0", sdk: "Zelvora SDK", sdkVersion: "1.0.5" })};` +
  "window.mraidData = {};" + property("version", '"3.0"') + property("state", '"loading"') +
  property("isViewable", false) + property("placementType", '"interstitial"');
const exposure = (rect) => trigger("exposureChange", 100, JSON.stringify(pretty(rect)));
const show = (supports = SUPPORTS) => [
  property("supports", JSON.stringify(supports)) + property("screenSize", pretty(SCREEN)) +
    property("maxSize", pretty(SCREEN)) + property("defaultPosition", pretty(POSITION)) +
    property("currentPosition", pretty(POSITION)) +
    property("expandProperties", pretty({ width: 374, height: 816, useCustomClose: false,
      isModal: true })) +
    property("currentAppOrientation", pretty({ orientation: "portrait", locked: false })) +
    property("orientationProperties", pretty({ allowOrientationChange: true,
      forceOrientation: "none" })),
  property("isViewable", true), property("state", '"default"'),
  trigger("stateChange", '"default"'), trigger("ready"),
];
const APPEAR = [exposure(POSITION)]; // the interstitial is on screen
const resize = (rect) =>
  [property("currentPosition", pretty(rect)), trigger("sizeChange", rect.width, rect.height),
    exposure(rect)];
const CLOSE = [property("isViewable", false), property("state", '"hidden"'),
  trigger("stateChange", '"hidden"')];

// A page as the SDK prepares it: the initial data and the library at document start.
class FakePage {
  constructor() {
    this.posted = []; // messages to "mraidHostBridge", as the SDK receives them
    this.logged = []; // console lines
    this.timers = []; // setTimeout callbacks, run by runTimers()
    const bridge = { postMessage: (message) => this.posted.push(plain(message)) };
    this.context = vm.createContext({
      webkit: { messageHandlers: { mraidHostBridge: bridge } },
      console: { log: (line) => this.logged.push(line) },
      setTimeout: (callback) => this.timers.push(callback),
    });
    this.run("var window = this;");
    this.run(INITIAL_DATA + LIBRARY);
    this.mraid = this.run("mraid");
  }
  /* Evaluates one script (its value), or each of a list in order (the page). */
  run(scripts) {
    if (!Array.isArray(scripts)) return vm.runInContext(scripts, this.context);
    scripts.forEach((script) => this.run(script));
    return this;
  }
  /* The creative's <script src="mraid.js">. */
  loadLibrary() {
    this.run(LIBRARY);
    return this;
  }
  runTimers() {
    for (const timers = this.timers.splice(0); timers.length; ) timers.shift()();
  }
  /* Records [event, ...arguments] for every event named. */
  record(...events) {
    const seen = [];
    for (const event of events)
      this.mraid.addEventListener(event, (...args) => seen.push(plain([event, ...args])));
    return seen;
  }
}

// A value of the page as a value of the test's realm, for deepStrictEqual.
const plain = (value) => (value === undefined ? undefined : JSON.parse(JSON.stringify(value)));

module.exports = { FakePage, show, APPEAR, resize, CLOSE, SUPPORTS, SCREEN, POSITION, plain };
