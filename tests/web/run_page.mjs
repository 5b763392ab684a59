// Plays a world in the web program's test mode and writes out what the page
// ended with, for web_golden_test.cpp to compare with the native runner:
//   node run_page.mjs SITE WORLD_DIR KEYS_FILE CLOCK PASSES OUT_DIR
// OUT_DIR gets screen.rgba (320x200, 4 bytes a pixel), result.json (the page's
// state, the files it lists, what it shows) and files/NAME for every world file.
import { readdirSync, readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { launch, serve, main, siteDir } from './cdp.mjs';

const [site, worldDir, keysFile, clock, passes, out] = process.argv.slice(2);

await main(async () => {
  const server = await serve(siteDir(site));
  const world = Object.fromEntries(readdirSync(worldDir).map((n) => [n, readFileSync(join(worldDir, n)).toString('base64')]));
  const browser = await launch();
  const page = await browser.newPage();
  await page.addInitScript(`window.tlvxTest = ${JSON.stringify({ keys: readFileSync(keysFile, 'utf8'), clock, passes: Number(passes), world })};`);
  await page.navigate(server.url);
  const state = await page.waitFor("window.tlvx && ['ended', 'error'].includes(window.tlvx.state) && window.tlvx.state",
                                   { timeoutMs: 60000, what: 'the test run to end' });
  mkdirSync(join(out, 'files'), { recursive: true });
  writeFileSync(join(out, 'screen.rgba'), await page.bytes('window.tlvx.screenRGBA()'));
  const files = await page.eval('Array.from(window.tlvx.listFiles())');
  for (const name of files) writeFileSync(join(out, 'files', name), await page.bytes(`window.tlvx.readFile(${JSON.stringify(name)})`));
  const text = await page.eval('document.body.innerText');
  writeFileSync(join(out, 'result.json'), JSON.stringify({ state, files, errors: page.errors, text }, null, 1));
  await browser.close();
  server.close();
}, { timeoutMs: 120000 });
