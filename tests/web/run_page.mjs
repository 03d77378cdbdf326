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
import https from "node:https";
import {execFileSync} from "node:child_process";
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
  acceptInsecureCerts: true,
  userDataDir: fs.mkdtempSync(path.join(os.tmpdir(), "update-page-profile-")),
});

const kitFolder = fs.mkdtempSync(path.join(os.tmpdir(), "update-page-kit-"));
let failures = 0;
const fail = (name, what) => { ++failures; console.log(`FAIL ${name}: ${what}`); };

// Where the pages are opened from: the disk (file://), or a web server
// over https, as the maker may publish them (a local server with a
// certificate made for the test; the browser is told to take it).
let origin = "file://" + path.resolve(buildDir);

// One run of a page: returns what it printed and what the device saw.
// `how`: the kit file's name, whether the owner picks the kit file itself
// rather than its folder, and how many clicks on Start, how far apart.
async function runPage({name, gd32, kit, script}, prepare, how = {}) {
  const {kitName = "Calvenor_Pro.kit", pickFile = false, clicks = 1, clickGapMs = 300} = how;
  const page = await browser.newPage();
  const problems = [];
  page.on("pageerror", e => problems.push("page error: " + e.message));
  await page.evaluateOnNewDocument(`${standIn}\ninstallStandIn(${JSON.stringify(script)});\n${prepare || ""}`);
  await page.goto(origin + "/" + (gd32 ? "update-gd32.html" : "update.html"));
  await page.waitForFunction(() => window.updatePage && window.updatePage.ready, {timeout: 30000});
  // The owner picks the kit's folder, or the kit file.
  const folder = fs.mkdtempSync(path.join(kitFolder, "folder-"));
  fs.writeFileSync(path.join(folder, kitName), kit);
  if (pickFile) await (await page.$("#kit-file")).uploadFile(path.join(folder, kitName));
  else await (await page.$("#kit-files")).uploadFile(folder);
  await page.waitForFunction(() => window.updatePage.files > 0, {timeout: 10000});
  const started = Date.now();
  await page.click("#start");
  for (let c = 1; c < clicks; ++c) {
    await new Promise(resolve => setTimeout(resolve, clickGapMs));
    await page.click("#start").catch(() => {});
  }
  let result = null;
  try {
    await page.waitForFunction(() => window.updatePage.ended || document.getElementById("advice").textContent,
                               {timeout: 240000, polling: 100});
    result = await page.evaluate(() => ({
      console: window.updatePage.raw, ended: window.updatePage.ended, runs: window.updatePage.runs,
      advice: document.getElementById("advice").textContent,
      shown: document.getElementById("console").textContent,
      progress: document.getElementById("progress").value,
      verdict: window.updatePage.verdict, verdictText: document.getElementById("verdict").textContent,
      startShown: !document.getElementById("start").hidden, againShown: !document.getElementById("again").hidden,
      kitStatus: document.getElementById("kit-status").textContent,
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
  // A 250-record kit answered at once: the page's pace against the sum of
  // the sleeps its pacing asks for (one per chunk), from the identify
  // request to the last chunk; and, for information, the whole run from
  // the click to its end (the page's start-up, MIDI access, the 10 polls
  // the input listens first, and this test's 100 ms look at the page).
  const [row] = JSON.parse(fs.readFileSync(rowsFile, "utf8")).rows;
  const r = await runPage(row);
  const chunks = r.wire.length - 1;
  const floor = chunks / 1000;  // one 1 ms pause after each chunk
  const paced = (r.times[r.times.length - 1] - r.times[0]) / 1000;
  const med = a => a.slice().sort((x, y) => x - y)[Math.floor(a.length / 2)];
  const within = [], between = [];
  for (let i = 2; i < r.times.length; ++i) ((i % 2 === 0) ? within : between).push(r.times[i] - r.times[i - 1]);
  console.log(`The page in headless Chromium, ${row.records} records of two chunks answered at once: ` +
              `identify request to last chunk ${paced.toFixed(3)} s, pacing floor ${floor.toFixed(3)} s ` +
              `(${chunks} sleeps of 1 ms), wall / floor ${(paced / floor).toFixed(2)}; ` +
              `median gap between a record's chunks ${med(within).toFixed(2)} ms, between records ` +
              `${med(between).toFixed(2)} ms; the whole run from the click ${r.seconds.toFixed(3)} s`);
  await browser.close();
  process.exit(0);
}

// The rows, and the console's texts the owners' rows look for.
const {rows, texts} = JSON.parse(fs.readFileSync(rowsFile, "utf8"));
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
  if (r.verdict !== row.verdict || !r.verdictText.includes("update-log.txt"))
    fail(row.name, `verdict ${r.verdict}: ${r.verdictText}`);
  if (r.startShown || !r.againShown) fail(row.name, "after the run, Start shows, or Start again does not");
  if ((row.verdict === "updated" || row.verdict === "restarts") && r.progress !== 100)
    fail(row.name, `progress bar at ${r.progress}`);
  // A request the device does not answer is waited for as long as on
  // Windows, 100 polls of 15.625 ms: never less, however fast the machine.
  if (row.name === "target never answers the identify request") {
    const gaps = r.times.slice(1).map((t, i) => t - r.times[i]);
    if (gaps.length !== 18 || gaps.some(g => g < 1500)) fail(row.name, `waits between requests ${JSON.stringify(gaps.map(Math.round))} ms`);
  }
  console.log(`ok   ${row.name} (${r.seconds.toFixed(1)} s)`);
}

// The page as owners use it, from the disk and over https.
async function ownersRows(where) {
  const byName = n => rows.find(r => r.name === n);
  const one = byName("one record, acknowledged");
  const check = (name, ok, what) => { if (ok) console.log(`ok   ${where}: ${name}`); else fail(`${where}: ${name}`, what); };

  // Two clicks on Start 300 ms apart while the browser takes 300 ms to
  // grant MIDI access: one run, the wire of one update.
  const slowAccess = "const grant = navigator.requestMIDIAccess; navigator.requestMIDIAccess = o => " +
                     "new Promise(r => setTimeout(r, 300)).then(() => grant(o));";
  let r = await runPage({...one, name: "double click"}, slowAccess, {clicks: 2});
  check("two clicks on Start run one update", r && r.runs === 1 && same(r.wire, one.wire) && r.verdict === "updated",
        JSON.stringify(r && {runs: r.runs, wire: r.wire.length, verdict: r.verdict}));

  // Unplugged as record 5's first chunk goes out (send() silent, as in
  // Chromium): the missing output is said at the next full chunk, not after
  // twenty attempts, and the account says which port went away.
  // Ten records of 34 bytes: a full chunk and a short one each.
  const hex2 = b => b.toString(16).toUpperCase().padStart(2, "0");
  let tenText = "";
  for (let r = 0; r < 10; ++r) {
    const payload = Array.from({length: 30}, (_, i) => (r * 31 + i * 7) & 0xFF);
    const sum = (0x10000 - payload.reduce((a, b) => a + b, 0) % 0x10000) % 0x10000;
    tenText += [0x00, 0x20, ...payload, sum & 0xFF, sum >> 8].map(hex2).join(" ") + "\n";
  }
  r = await runPage({...one, kit: tenText, name: "unplug"}, "window.standInUnplugAtMessage = 10;");
  check("an unplug during record 5 ends the run at once",
        r && r.console.endsWith(texts.outMissingInTransfer) && r.wire.length === 9 &&
            r.account.includes("turned disconnected") && r.verdict === "unfinished" && r.seconds < 10,
        JSON.stringify(r && {end: r.console.slice(-80), wire: r.wire.length, verdict: r.verdict, s: r.seconds}));

  // A CRC error and an acknowledgement in one burst from the unit: the
  // browser hands on two messages at once, and the latest decides.
  const burst = one.script.replace("recordOtherwise", "record 2 2 1 1 F020F7F01AF7\nrecordOtherwise");
  r = await runPage({...one, script: burst, name: "burst"});
  check("of two messages that came since the last poll the latest decides",
        r && r.console === one.console && r.verdict === "updated" && r.account.includes("received: F0 20 F7"),
        JSON.stringify(r && r.console.slice(-120)));

  // A kit named with letters beyond ASCII shows as it is named.
  r = await runPage({...one, name: "März"}, "", {kitName: "Calvenor_Pro_März.kit"});
  check("a kit named Calvenor_Pro_März.kit shows its name",
        r && r.shown.includes(texts.kitOpenMarch.trimEnd()) && r.verdict === "updated",
        JSON.stringify(r && r.shown.slice(0, 200)));

  // The kit file itself, chosen alone.
  r = await runPage({...one, name: "chosen file"}, "", {pickFile: true});
  check("a chosen kit file is updated", r && r.verdict === "updated" && same(r.wire, one.wire) &&
        r.kitStatus === "The kit file Calvenor_Pro.kit is taken.", JSON.stringify(r && {verdict: r.verdict, status: r.kitStatus}));

  // The verdict's words for each way a run can leave the unit.
  for (const [rowName, end, words] of [["one record, acknowledged", "updated", "You may now disconnect it"],
                                       ["target restarts", "restarts", "restarts now"],
                                       ["target never answers a record", "unfinished", "may be incomplete"],
                                       ["empty kit: refused", "untouched", "Nothing was changed"]]) {
    r = await runPage(byName(rowName));
    check(`the verdict after "${rowName}"`, r && r.verdict === end && r.verdictText.includes(words) &&
          r.verdictText.includes("update-log.txt"), JSON.stringify(r && r.verdictText));
  }
}

await ownersRows("file://");

// The same over https, as served by a web server.
{
  const certDir = fs.mkdtempSync(path.join(os.tmpdir(), "update-page-cert-"));
  execFileSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=localhost",
                           "-keyout", path.join(certDir, "key.pem"), "-out", path.join(certDir, "cert.pem")],
               {stdio: "ignore"});
  const server = https.createServer({key: fs.readFileSync(path.join(certDir, "key.pem")),
                                     cert: fs.readFileSync(path.join(certDir, "cert.pem"))}, (req, res) => {
    const file = path.join(path.resolve(buildDir), path.normalize(decodeURIComponent(new URL(req.url, "https://x").pathname)));
    if (!file.startsWith(path.resolve(buildDir)) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, {"Content-Type": file.endsWith(".html") ? "text/html; charset=utf-8" : "application/octet-stream"});
    res.end(fs.readFileSync(file));
  });
  await new Promise(resolve => server.listen(0, "127.0.0.1", resolve));
  origin = `https://localhost:${server.address().port}`;
  await ownersRows("https");
  const one = rows.find(r => r.name === "one record, acknowledged");
  const served = await runPage({...one, name: "https"});
  if (!served || served.verdict !== "updated" || !same(served.wire, one.wire)) fail("https", "the served page did not update");
  else console.log("ok   https: the page served over https updates");
  server.close();
  origin = "file://" + path.resolve(buildDir);
  fs.rmSync(certDir, {recursive: true, force: true});
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
