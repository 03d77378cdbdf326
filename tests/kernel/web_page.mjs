// Inside the guest: the update page in a real headless Chromium, over the
// guest's real ALSA sequencer, against the USB MIDI gadget. The owner's
// steps: open the page from the disk, pick the kit's folder, press Start
// (the MIDI permission granted as the owner would). Writes the console
// text as the program printed it to OUT/stdout.
//   node web_page.mjs PAGE KIT_FOLDER OUT
import fs from "node:fs";
import path from "node:path";

const [pagePath, kitFolder, out] = process.argv.slice(2);
const here = path.dirname(new URL(import.meta.url).pathname);
const {default: puppeteer} = await import(path.join(here, "../web/node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js"));

// DevTools over a pipe: the guest has no network. The profile and the
// browser's sockets on the guest's tmpfs, not on the shared folders.
const browser = await puppeteer.launch({
  executablePath: "/usr/bin/chromium", headless: true, pipe: true, timeout: 300000, protocolTimeout: 300000,
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage"],
  userDataDir: "/run/chromium-profile",
});
await browser.defaultBrowserContext().overridePermissions("file://", ["midi", "midi-sysex"]);
const page = await browser.newPage();
await page.goto("file://" + pagePath, {timeout: 300000});
await page.waitForFunction(() => window.updatePage && window.updatePage.ready, {timeout: 300000});
await (await page.$("#kit-files")).uploadFile(kitFolder);
await page.waitForFunction(() => window.updatePage.files > 0, {timeout: 60000});
await page.click("#start");
await page.waitForFunction(() => window.updatePage.ended || document.getElementById("advice").textContent,
                           {timeout: 300000, polling: 200});
const result = await page.evaluate(() => ({raw: window.updatePage.raw, advice: document.getElementById("advice").textContent}));
fs.writeFileSync(path.join(out, "stdout"), result.raw);
if (result.advice) fs.writeFileSync(path.join(out, "stderr"), result.advice);
await browser.close();
