// Plays a world in the web program's test mode and writes out what the page
// ended with, for web_golden_test.cpp to compare with the native runner:
//   node run_page.mjs SITE WORLD_DIR KEYS_FILE CLOCK PASSES OUT_DIR
// OUT_DIR gets screen.rgba (320x200, 4 bytes a pixel), result.json (the page's
// state and message, the files it lists) and files/NAME for every world file.
import { readdirSync, readFileSync, writeFileSync, mkdirSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { launch, serve, main, Skip, chromiumPath } from './cdp.mjs';

const [site, worldDir, keysFile, clock, passes, out] = process.argv.slice(2);

await main(async () => {
  if (!existsSync(join(site, 'index.html'))) throw new Skip(`no web build in ${site}`);
  if (!chromiumPath()) throw new Skip('no chromium');
  const world = {};
  for (const name of readdirSync(worldDir)) world[name] = readFileSync(join(worldDir, name)).toString('base64');
  const test = { keys: readFileSync(keysFile, 'utf8'), clock, passes: Number(passes), world };

  const server = await serve(site);
  const browser = await launch();
  const page = await browser.newPage();
  await page.addInitScript(`window.tlvxTest = ${JSON.stringify(test)};`);
  await page.navigate(server.url);
  const state = await page.waitFor(
    "window.tlvx && ['ended', 'error'].includes(window.tlvx.state) && window.tlvx.state",
    { timeoutMs: 60000, what: 'the test run to end' });
  mkdirSync(join(out, 'files'), { recursive: true });
  const screen = await page.bytes('window.tlvx.screenRGBA()');
  writeFileSync(join(out, 'screen.rgba'), screen);
  const files = await page.eval('Array.from(window.tlvx.listFiles())');
  for (const name of files) writeFileSync(join(out, 'files', name), await page.bytes(`window.tlvx.readFile(${JSON.stringify(name)})`));
  const result = { state, message: await page.eval('String(window.tlvx.message ?? "")'),
                   pass: await page.eval('window.tlvx.pass'), files, errors: page.errors,
                   text: await page.eval('document.body.innerText') };
  writeFileSync(join(out, 'result.json'), JSON.stringify(result, null, 1));
  await browser.close();
  server.close();
}, { timeoutMs: 120000 });
