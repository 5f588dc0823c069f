// server/assets/mraid.js against the SDK's side of the page contract (fakePage.js).
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const { FakePage, show, APPEAR, resize, CLOSE, SUPPORTS, SCREEN, POSITION, plain } =
  require("./fakePage.js");

const loaded = () => new FakePage().loadLibrary();
const shown = () => loaded().run([...show(), ...APPEAR]);
const status = (mraid) => [mraid.getState(), mraid.isViewable()];

test("the creative's second load keeps the first one's library and listeners", () => {
  const page = new FakePage();
  const seen = page.record("ready");
  assert.strictEqual(page.loadLibrary().run("mraid"), page.mraid);
  page.run(show());
  assert.deepStrictEqual(seen, [["ready"]]);
});

test("state and viewability follow the SDK's writes over show, size change and close", () => {
  const page = loaded();
  const seen = page.record("stateChange", "ready", "viewableChange", "sizeChange",
    "exposureChange");
  assert.deepStrictEqual(status(page.mraid), ["loading", false]);
  page.run(show().slice(0, 2));
  assert.deepStrictEqual(status(page.mraid), ["loading", true]);
  page.run([...show().slice(2), ...APPEAR]);
  assert.deepStrictEqual(status(page.mraid), ["default", true]);
  const turned = { x: 20, y: 40, width: 856, height: 334 };
  page.run([...resize(turned), ...CLOSE]);
  assert.deepStrictEqual(plain(page.mraid.getCurrentPosition()), turned);
  assert.deepStrictEqual(status(page.mraid), ["hidden", false]);
  assert.deepStrictEqual(seen, [["stateChange", "default"], ["ready"], ["viewableChange", true],
    ["exposureChange", 100, POSITION], ["sizeChange", 856, 334], ["exposureChange", 100, turned],
    ["stateChange", "hidden"], ["viewableChange", false]]);
});

test("getters return copies of what the SDK wrote; supports less what cannot be done", () => {
  const page = loaded().run(show({ ...SUPPORTS, calendar: true, location: true, tel: true }));
  for (const [call, expected] of [
    ["getVersion", "3.0"], ["getPlacementType", "interstitial"], ["getLocation", -1],
    ["getScreenSize", SCREEN], ["getMaxSize", SCREEN], ["getDefaultPosition", POSITION],
    ["getExpandProperties", { width: 374, height: 816, useCustomClose: false, isModal: true }],
    ["getCurrentAppOrientation", { orientation: "portrait", locked: false }],
    ["getOrientationProperties", { allowOrientationChange: true, forceOrientation: "none" }],
  ])
    assert.deepStrictEqual(plain(page.mraid[call]()), expected, call);
  page.mraid.getScreenSize().width = 1;
  assert.strictEqual(page.mraid.getScreenSize().width, SCREEN.width);
  page.mraid.setExpandProperties({ width: 300, isModal: false });
  assert.deepStrictEqual(plain(page.mraid.getExpandProperties()),
    { width: 300, height: 816, useCustomClose: false, isModal: true });
  const features = ["inlineVideo", "tel", "sms", "calendar", "location", "bogus"];
  assert.deepStrictEqual(features.map(page.mraid.supports),
    [true, true, false, false, false, false]);
});

test("a ready listener added after ready is called once, asynchronously", () => {
  const page = shown();
  assert.notStrictEqual(page.mraid.getState(), "loading"); // what creatives check first
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

test("the creative's calls post the messages the SDK understands", () => {
  const url = "https://x.test/landing?a=1&b=%20";
  for (const [call, message] of [
    [(m) => m.open(url), { name: "open", params: url }],
    [(m) => m.open("tel:+15550100"), { name: "open", params: "tel:+15550100" }],
    [(m) => m.playVideo(url), { name: "playVideo", params: url }],
    [(m) => m.close(), { name: "close" }], [(m) => m.unload(), { name: "unload" }],
    [(m) => m.fallback(), { name: "fallback" }],
  ]) {
    const page = shown();
    const errors = page.record("error");
    call(page.mraid);
    assert.deepStrictEqual([page.posted, errors], [[message], []], String(call));
  }
});

test("what the SDK does not carry out, or bad arguments, fire error with the action", () => {
  for (const [call, action, page = shown()] of [
    [(m) => m.expand(), "expand"], [(m) => m.resize(), "resize"],
    [(m) => m.storePicture("https://x.test/a.png"), "storePicture"],
    [(m) => m.createCalendarEvent({}), "createCalendarEvent"],
    [(m) => m.useCustomClose(true), "useCustomClose"],
    [(m) => m.open(), "open"], [(m) => m.open("not a url"), "open"],
    [(m) => m.playVideo(42), "playVideo"],
    [(m) => m.addEventListener("bogus", () => {}), "addEventListener"],
    [(m) => m.addEventListener("ready", "f"), "addEventListener"],
    [(m) => m.removeEventListener("bogus"), "removeEventListener"],
    [(m) => m.setExpandProperties({ width: -1 }), "setExpandProperties"],
    [(m) => m.setOrientationProperties({ forceOrientation: "landscape" }),
      "setOrientationProperties"],
    [(m) => m.close(), "close", loaded()],
  ]) {
    const errors = page.record("error");
    call(page.mraid);
    assert.deepStrictEqual(errors.map(([, message, at]) => [typeof message, at]),
      [["string", action]], String(call));
    assert.deepStrictEqual(page.posted, []);
  }
});

test("removed listeners are not called; a throwing one does not stop the others", () => {
  const page = loaded();
  page.mraid.addEventListener("ready", () => { throw new Error("creative bug"); });
  const seen = page.record("stateChange", "ready", "exposureChange");
  const removed = () => seen.push("removed");
  page.mraid.addEventListener("ready", removed);
  page.mraid.removeEventListener("ready", removed);
  page.run(show());
  page.mraid.removeEventListener("stateChange"); // all of them
  page.run(['mraidController.triggerEvent("exposureChange", [0, "not json"]);', ...CLOSE]);
  assert.deepStrictEqual(seen, [["stateChange", "default"], ["ready"],
    ["exposureChange", 0, null]]);
  assert.ok(page.logged.some((line) => line.includes("creative bug")));
});
