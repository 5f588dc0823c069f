// A creative's page in a node:vm context, given exactly the scripts the SDK gave a page in a
// headless run (fixtures/*.json, recorded by tests/html/mraid_page_contract_test.cpp), with
// the library's text where the recording has its marker.
"use strict";
const assert = require("node:assert");
const fs = require("node:fs");
const vm = require("node:vm");

const LIBRARY = fs.readFileSync(`${__dirname}/../../server/assets/mraid.js`, "utf8");

/* The recording of `scenario`: {scenario, library (the marker), steps: [{do, posted?,
   scripts: [{kind, text}]}]}. */
function fixture(scenario) {
  return JSON.parse(fs.readFileSync(`${__dirname}/fixtures/${scenario}.json`, "utf8"));
}

// A value of the page as a value of the test's realm, for deepStrictEqual.
const plain = (value) => (value === undefined ? undefined : JSON.parse(JSON.stringify(value)));

class Page {
  /* A page of `scenario`; nothing has run in it yet. */
  constructor(scenario) {
    this.recording = fixture(scenario);
    this.steps = this.recording.steps.slice();
    this.posted = []; // messages to "mraidHostBridge", as the SDK receives them
    this.logged = []; // console lines
    this.timers = []; // setTimeout callbacks, run by runTimers()
    this.blank = false; // the SDK loaded about:blank
    const bridge = { postMessage: (message) => this.posted.push(plain(message)) };
    const head = { appendChild: () => {} };
    this.context = vm.createContext({
      webkit: { messageHandlers: { mraidHostBridge: bridge } },
      console: { log: (line) => this.logged.push(line) },
      setTimeout: (callback) => this.timers.push(callback),
      document: { createElement: () => ({}), getElementsByTagName: () => [head] },
    });
    this.run("var window = this;");
  }
  get mraid() {
    return this.run("mraid");
  }
  run(script) {
    return vm.runInContext(script, this.context);
  }
  /* The next recorded step, which must be `what`. When the page posted a message in it, the
     creative's `call` must post exactly that message. Then the SDK's scripts run in order. */
  play(what, call) {
    const step = this.steps.shift();
    assert.ok(step, `no step left for ${what}`);
    assert.strictEqual(step.do, what);
    if (step.posted !== undefined) {
      assert.ok(call, `${what}: the page posted ${JSON.stringify(step.posted)}`);
      const before = this.posted.length;
      call(this.mraid);
      assert.deepStrictEqual(this.posted.slice(before), [step.posted], `${what}: posted`);
    }
    for (const { kind, text } of step.scripts) {
      if (kind === "request") this.blank = text === "about:blank";
      // A function: the library's text holds "$&", which a replacement string would expand.
      else this.run(kind === "userScript" ? text.replace(this.recording.library, () => LIBRARY)
        : text);
    }
    return this;
  }
  /* Plays every step left, the page's posts through the creative's call in `calls` under the
     step's name. */
  playAll(calls = {}) {
    while (this.steps.length) this.play(this.steps[0].do, calls[this.steps[0].do]);
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

module.exports = { Page, fixture, plain, LIBRARY };
