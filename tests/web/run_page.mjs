// The update page in headless Chromium, opened from a file:// URL as an
// owner opens it, with the Web MIDI stand-in (web_midi_stand_in.js and the
// emulated device, stand_in.js) injected before the page loads: every row
// of rows.json (the scenario table's rows a browser can show) must print
// the console text and put the messages on the wire that the table
// expects, in their order (the page runs in real time: a loaded machine
// may add a resend, never change what is said or sent in what order). Then the page's own sentences: no Web MIDI, and MIDI
// access refused. With --bench: the wall time of one update against its
// pacing floor.
//
//   node run_page.mjs BUILD_WEB_DIR ROWS_JSON [--bench]
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";

const [buildDir, rowsFile, mode] = process.argv.slice(2);
const here = path.dirname(new URL(import.meta.url).pathname);
const standIn = fs.readFileSync(path.join(buildDir, "stand_in.js"), "utf8") + "\n" +
                fs.readFileSync(path.join(here, "web_midi_stand_in.js"), "utf8");

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--allow-file-access-from-files"],
  userDataDir: fs.mkdtempSync(path.join(os.tmpdir(), "update-page-profile-")),
});

const kitFolder = fs.mkdtempSync(path.join(os.tmpdir(), "update-page-kit-"));
let failures = 0;
const fail = (name, what) => { ++failures; console.log(`FAIL ${name}: ${what}`); };

// One run of a page: returns what it printed and what the device saw.
async function runPage({name, gd32, kit, script}, prepare) {
  const page = await browser.newPage();
  const problems = [];
  page.on("pageerror", e => problems.push("page error: " + e.message));
  await page.evaluateOnNewDocument(`${standIn}\ninstallStandIn(${JSON.stringify(script)});\n${prepare || ""}`);
  await page.goto("file://" + path.resolve(buildDir, gd32 ? "update-gd32.html" : "update.html"));
  await page.waitForFunction(() => window.updatePage && window.updatePage.ready, {timeout: 30000});
  // The owner picks the kit's folder.
  const folder = fs.mkdtempSync(path.join(kitFolder, "folder-"));
  fs.writeFileSync(path.join(folder, "Calvenor_Pro.kit"), kit);
  await (await page.$("#kit-files")).uploadFile(folder);
  await page.waitForFunction(() => window.updatePage.files > 0, {timeout: 10000});
  const started = Date.now();
  await page.click("#start");
  let result = null;
  try {
    await page.waitForFunction(() => window.updatePage.ended || document.getElementById("advice").textContent,
                               {timeout: 240000, polling: 100});
    result = await page.evaluate(() => ({
      console: window.updatePage.raw, ended: window.updatePage.ended,
      advice: document.getElementById("advice").textContent,
      shown: document.getElementById("console").textContent,
      progress: document.getElementById("progress").value,
      wire: window.standInRecord.wire, times: window.standInRecord.times, events: window.standInRecord.events,
      errors: window.standInRecord.ready ? window.standInErrors() : [],
      account: (() => { try { return new TextDecoder().decode(window.updatePage.module.FS.readFile("update-log.txt")); } catch (e) { return ""; } })(),
      download: document.getElementById("download-log").href,
    }));
    result.seconds = (Date.now() - started) / 1000;
  } catch (e) {
    problems.push("the run did not end: " + e.message);
  }
  await page.close();
  if (problems.length) fail(name, problems.join("; "));
  return result;
}

const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);

// What a run in real time holds to however the machine delays it (a wait
// may end before a reply that is due, and the record goes again): the
// console without its progress lines, the percentages those showed in the
// order first shown, and the messages in the order first sent.
function shapeOf(text, wire) {
  const percents = [];
  const rest = text.replace(/\r {24}\rTransferring\.\. . (\d+)% done/g, (_, p) => {
    if (!percents.includes(p)) percents.push(p);
    return "";
  });
  return {text: rest, percents, firstSent: [...new Set(wire)]};
}

if (mode === "--bench") {
  // A 250-record kit answered at once: the page's wall time against the
  // sum of the sleeps its pacing asks for (one per chunk).
  const [row] = JSON.parse(fs.readFileSync(rowsFile, "utf8"));
  const r = await runPage(row);
  const chunks = r.wire.length - 1;
  const floor = chunks / 1000;  // one 1 ms pause after each chunk
  console.log(`The page in headless Chromium, ${row.records} records of two chunks answered at once: ` +
              `wall ${r.seconds.toFixed(3)} s, pacing floor ${floor.toFixed(3)} s (${chunks} sleeps of 1 ms), ` +
              `wall / floor ${(r.seconds / floor).toFixed(2)}`);
  await browser.close();
  process.exit(0);
}

const rows = JSON.parse(fs.readFileSync(rowsFile, "utf8"));
let ran = 0;
for (const row of rows) {
  const r = await runPage(row);
  ++ran;
  if (!r) continue;
  if (!r.ended) fail(row.name, "the run did not reach its end: " + r.advice);
  const got = shapeOf(r.console, r.wire), expected = shapeOf(row.console, row.wire);
  if (!same(got, expected)) fail(row.name, `console and wire\n  got      ${JSON.stringify(got)}\n  expected ${JSON.stringify(expected)}`);
  const portEvents = r.events.filter(e => !e.startsWith("send "));
  if (!same(portEvents, row.events)) fail(row.name, `port events ${JSON.stringify(portEvents)} expected ${JSON.stringify(row.events)}`);
  if (!row.deviceErrors.every(e => r.errors.includes(e))) fail(row.name, `device errors ${JSON.stringify(r.errors)}`);
  if (!r.account.includes("======== end of the run ========")) fail(row.name, "no whole account in update-log.txt");
  if (!r.download.startsWith("blob:")) fail(row.name, "no account offered for download");
  if (row.console.includes("Target update successfully!") && r.progress !== 100) fail(row.name, `progress bar at ${r.progress}`);
  // A request the device does not answer is waited for as long as on
  // Windows, 100 polls of 15.625 ms: never less, however fast the machine.
  if (row.name === "target never answers the identify request") {
    const gaps = r.times.slice(1).map((t, i) => t - r.times[i]);
    if (gaps.length !== 18 || gaps.some(g => g < 1500)) fail(row.name, `waits between requests ${JSON.stringify(gaps.map(Math.round))} ms`);
  }
  console.log(`ok   ${row.name} (${r.seconds.toFixed(1)} s)`);
}

// The page's own sentences where it cannot run.
const one = rows.find(r => r.name === "one record, acknowledged");
const noMidi = await runPage({...one, name: "no Web MIDI"}, "delete Navigator.prototype.requestMIDIAccess; delete navigator.requestMIDIAccess;");
if (!noMidi || !/Chrome, Edge or another Chromium browser/.test(noMidi.advice) || noMidi.wire.length) fail("no Web MIDI", JSON.stringify(noMidi && noMidi.advice));
else console.log("ok   a browser without Web MIDI is told what to do");
const refused = await runPage({...one, name: "refused"}, "navigator.requestMIDIAccess = async () => { throw new DOMException('denied', 'NotAllowedError'); };");
if (!refused || !/allow MIDI devices for this page/.test(refused.advice) || refused.wire.length) fail("refused", JSON.stringify(refused && refused.advice));
else console.log("ok   a refusal is told what to do");

await browser.close();
fs.rmSync(kitFolder, {recursive: true, force: true});
console.log(`${ran} rows in the browser, ${failures} failures`);
process.exit(failures ? 1 : 0);
