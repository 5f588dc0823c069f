// server/assets/mraid.js in pages given exactly what the SDK gave them in headless runs
// (fixtures/, see page.js): a change of the SDK's scripts or of the library that breaks the
// page contract fails here or in tests/html/mraid_page_contract_test.cpp.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const { Page, plain } = require("./page.js");

const SCREEN = { width: 414, height: 896 };
const POSITION = { x: 25, y: 45, width: 364, height: 806 }; // the web view's own frame
const SEEN = { x: 0, y: 0, width: 364, height: 806 }; // all of it, in its own coordinates
const UNSEEN = ["exposureChange", 0, null, null];
const status = (mraid) => [mraid.getState(), mraid.isViewable()];
/* A page of `scenario` whose creative loaded the library again, as creatives do. */
const loaded = (scenario) => new Page(scenario).play("load").loadLibrary();

test("preload: the environment, loading and not viewable; the second load keeps the first", () => {
  const page = new Page("preload").play("load");
  const first = page.mraid;
  assert.strictEqual(page.loadLibrary().mraid, first);
  assert.deepStrictEqual(plain(page.run("MRAID_ENV")),
    { version: "3.0", sdk: "Zelvora SDK", sdkVersion: "1.0.5" });
  assert.deepStrictEqual([first.getVersion(), first.getPlacementType(), ...status(first)],
    ["3.0", "interstitial", "loading", false]);
  assert.deepStrictEqual(page.steps, []);
});

test("show, then the close button: each event once, in order, with what it says", () => {
  const page = loaded("show");
  const seen = page.record("stateChange", "ready", "viewableChange", "exposureChange",
    "sizeChange");
  page.play("show");
  assert.deepStrictEqual(status(page.mraid), ["default", true]);
  for (const [call, expected] of [
    ["getScreenSize", SCREEN], ["getMaxSize", SCREEN], ["getDefaultPosition", POSITION],
    ["getCurrentPosition", POSITION],
    ["getExpandProperties", { width: 364, height: 806, useCustomClose: false, isModal: true }],
    ["getCurrentAppOrientation", { orientation: "portrait", locked: false }],
    ["getOrientationProperties", { allowOrientationChange: true, forceOrientation: "none" }],
  ])
    assert.deepStrictEqual(plain(page.mraid[call]()), expected, call);
  page.mraid.getScreenSize().width = 1;
  assert.strictEqual(page.mraid.getScreenSize().width, SCREEN.width, "getters return copies");
  assert.deepStrictEqual(["inlineVideo", "sms", "vpaid", "bogus"].map(page.mraid.supports),
    [true, false, false, false]);
  page.play("tap close");
  assert.deepStrictEqual(seen, [["stateChange", "default"], ["ready"], ["viewableChange", true],
    ["exposureChange", 100, SEEN, null], ["stateChange", "hidden"], ["viewableChange", false],
    UNSEEN]);
  assert.deepStrictEqual([status(page.mraid), page.blank], [["hidden", false], true]);
});

test("rotation: every size is the new one when sizeChange comes; a lock is reported", () => {
  const page = loaded("rotation").play("show");
  const { mraid } = page;
  const sizes = [];
  mraid.addEventListener("sizeChange", (width, height) => sizes.push(plain([width, height,
    mraid.getCurrentPosition(), mraid.getDefaultPosition(), mraid.getScreenSize(),
    mraid.getMaxSize(), mraid.getCurrentAppOrientation()])));
  const exposures = page.record("exposureChange");
  page.play("rotate landscape").play("rotate portrait");
  const turned = { x: 25, y: 45, width: 846, height: 324 };
  const landscape = { width: 896, height: 414 };
  const portrait = [364, 806, POSITION, POSITION, SCREEN, SCREEN,
    { orientation: "portrait", locked: false }];
  assert.deepStrictEqual(sizes, [[846, 324, turned, turned, landscape, landscape,
    { orientation: "landscape", locked: false }], portrait]);
  assert.deepStrictEqual(exposures, [
    ["exposureChange", 100, { x: 0, y: 0, width: 846, height: 324 }, null],
    ["exposureChange", 100, SEEN, null]]);

  const lock = { allowOrientationChange: false, forceOrientation: "landscape" };
  page.play("post", (m) => m.setOrientationProperties(lock));
  assert.deepStrictEqual(plain(mraid.getOrientationProperties()), lock);
  assert.deepStrictEqual(plain(mraid.getCurrentAppOrientation()),
    { orientation: "landscape", locked: true });
  assert.strictEqual(sizes.length, 3, "the lock turned the interface");
  page.play("post", (m) => m.setOrientationProperties({ allowOrientationChange: true,
    forceOrientation: "none" }));
  assert.deepStrictEqual(plain(mraid.getCurrentAppOrientation()),
    { orientation: "landscape", locked: false });
});

test("the creative's video and the background: exposure 0 and not viewable, then back", () => {
  const page = loaded("video").play("show");
  const seen = page.record("viewableChange", "exposureChange", "sizeChange");
  page.playAll({ post: (m) => m.playVideo("https://x.test/clip.webm") });
  const hidden = [UNSEEN, ["viewableChange", false]];
  const back = [["exposureChange", 100, SEEN, null], ["viewableChange", true]];
  assert.deepStrictEqual(seen, [...hidden, ...back, ...hidden, ...back]);
});

test("the creative's close, unload and fallback post what the SDK understands", () => {
  for (const [scenario, call, expected] of [
    ["close", (m) => m.close(), ["hidden", [["stateChange", "hidden"],
      ["viewableChange", false], UNSEEN]]],
    ["unload", (m) => m.unload(), ["default", [UNSEEN, ["viewableChange", false]]]],
  ]) {
    const page = loaded(scenario).play("show");
    const seen = page.record("stateChange", "viewableChange", "exposureChange");
    page.play("post", call);
    assert.deepStrictEqual([page.mraid.getState(), seen, page.blank], [...expected, true],
      scenario);
  }
  // While its document is parsed: the library is there, the creative has not loaded it yet.
  const page = new Page("fallback").play("commit");
  const seen = page.record("stateChange", "viewableChange", "ready");
  page.play("post", (m) => m.fallback()).play("finish");
  assert.deepStrictEqual([page.mraid.getState(), seen, page.blank],
    ["hidden", [["stateChange", "hidden"]], true]);
});

test("a ready listener added after ready is called once, asynchronously", () => {
  const page = loaded("show").play("show");
  const seen = page.record("ready");
  const [removed, again] = [() => seen.push("removed"), () => seen.push("again")];
  for (const [call, listener] of [["add", removed], ["remove", removed], ["add", again],
    ["remove", again], ["add", again]])
    page.mraid[`${call}EventListener`]("ready", listener);
  assert.deepStrictEqual(seen, []);
  page.runTimers();
  page.runTimers();
  assert.deepStrictEqual(seen, [["ready"], "again"]);
});

test("listeners as the DOM calls them: removed during a dispatch, not called in it", () => {
  const page = loaded("show");
  const { mraid } = page;
  const seen = [];
  const second = () => seen.push("second");
  const late = () => seen.push("late");
  mraid.addEventListener("stateChange", () => { throw new Error("creative bug"); });
  mraid.addEventListener("stateChange", () => {
    seen.push("first");
    mraid.removeEventListener("stateChange", second);
    mraid.addEventListener("stateChange", late);
  });
  mraid.addEventListener("stateChange", second);
  mraid.addEventListener("ready", () => mraid.removeEventListener("exposureChange"));
  mraid.addEventListener("exposureChange", () => seen.push("exposure"));
  page.play("show").play("tap close");
  assert.deepStrictEqual(seen, ["first", "first", "late"]);
  assert.ok(page.logged.some((line) => line.includes("creative bug")));
});

test("resize properties are validated, kept and returned as copies; resize() is an error", () => {
  const page = loaded("show").play("show");
  const { mraid } = page;
  const errors = page.record("error");
  const valid = { width: 320, height: 50, offsetX: 0, offsetY: 10 };
  mraid.setResizeProperties(valid);
  const stored = { ...valid, customClosePosition: "top-right", allowOffscreen: true };
  assert.deepStrictEqual(plain(mraid.getResizeProperties()), stored);
  mraid.getResizeProperties().width = 1;
  for (const bad of [undefined, { ...valid, width: "320" }, { ...valid, height: 49 },
    { width: 320, height: 50, offsetX: 0 }, { ...valid, customClosePosition: "left" },
    { ...valid, allowOffscreen: "no" }, { ...valid, width: 5000, allowOffscreen: false },
    // The close area off screen, whatever allowOffscreen says.
    { ...valid, offsetY: -5000 }, { ...valid, width: 5000, customClosePosition: "top-right" },
    { ...valid, offsetX: -400, customClosePosition: "bottom-left", allowOffscreen: true }])
    mraid.setResizeProperties(bad);
  assert.deepStrictEqual(plain(mraid.getResizeProperties()), stored);
  mraid.resize();
  assert.deepStrictEqual(errors.map(([, , action]) => action),
    [...Array(10).fill("setResizeProperties"), "resize"]);
  assert.deepStrictEqual(page.posted, []);
});

test("every MRAID 3.0 method exists; what the SDK does not do fires error with its name", () => {
  const page = loaded("show").play("show");
  const methods = ["addEventListener", "createCalendarEvent", "close", "expand",
    "getCurrentAppOrientation", "getCurrentPosition", "getDefaultPosition",
    "getExpandProperties", "getLocation", "getMaxSize", "getOrientationProperties",
    "getPlacementType", "getResizeProperties", "getScreenSize", "getState", "getVersion",
    "initVpaid", "isViewable", "open", "playVideo", "removeEventListener", "resize",
    "setExpandProperties", "setOrientationProperties", "setResizeProperties", "storePicture",
    "supports", "unload", "useCustomClose"];
  assert.deepStrictEqual(methods.filter((name) => typeof page.mraid[name] !== "function"), []);
  const quiet = page.record("error");
  page.mraid.useCustomClose(false);
  assert.deepStrictEqual(quiet, [], "useCustomClose(false) is what the SDK does");
  for (const [call, action, on = page] of [
    [(m) => m.expand(), "expand"], [(m) => m.resize(), "resize"],
    [(m) => m.storePicture("https://x.test/a.png"), "storePicture"],
    [(m) => m.createCalendarEvent({}), "createCalendarEvent"],
    [(m) => m.initVpaid({}), "initVpaid"], [(m) => m.useCustomClose(true), "useCustomClose"],
    [(m) => m.open(), "open"], [(m) => m.open("not a url"), "open"],
    [(m) => m.playVideo(42), "playVideo"],
    [(m) => m.addEventListener("bogus", () => {}), "addEventListener"],
    [(m) => m.addEventListener("ready", "f"), "addEventListener"],
    [(m) => m.removeEventListener("bogus"), "removeEventListener"],
    [(m) => m.setExpandProperties({ width: -1 }), "setExpandProperties"],
    [(m) => m.setOrientationProperties({ forceOrientation: "sideways" }),
      "setOrientationProperties"],
    [(m) => m.close(), "close", loaded("show")],
  ]) {
    const errors = on.record("error");
    call(on.mraid);
    assert.deepStrictEqual(errors.map(([, message, at]) => [typeof message, at]),
      [["string", action]], String(call));
  }
  assert.deepStrictEqual(page.posted, []);
});
