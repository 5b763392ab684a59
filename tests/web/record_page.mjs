// Records a session in the page as a player does and writes out what the page
// ended with, for web_golden_test.cpp to replay natively and compare:
//   node record_page.mjs SITE OUT_DIR WATCH_RECORDING
// The page's Record button, steps and edits by key, then Stop: OUT_DIR gets
// session.tlvxrec (the downloaded recording), screen.rgba (the last screen of
// the recorded game), result.json and files/NAME for every world file. Then
// the page's Watch recording plays WATCH_RECORDING (made natively): OUT_DIR
// gets watched.rgba (the playback's last screen) and watched-files/NAME (the
// player's world after it).
import { copyFileSync, mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { launch, serve, main, check, siteDir, openGame } from './cdp.mjs';

const [site, out, watch] = process.argv.slice(2);

async function writeWorld(page, dir) {
  mkdirSync(dir, { recursive: true });
  const files = await page.eval('Array.from(window.tlvx.listFiles())');
  for (const f of files) writeFileSync(join(dir, f), await page.bytes(`window.tlvx.readFile(${JSON.stringify(f)})`));
  return files;
}

await main(async () => {
  const server = await serve(siteDir(site));
  const browser = await launch();
  const page = await openGame(browser, server.url);
  const downloads = join(out, 'downloads');
  await browser.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });

  // Record ends the game and starts it again, recorded.
  await page.eval("document.getElementById('record').click()");
  await page.waitFor("window.tlvx.recording === true && window.tlvx.state === 'running' && window.tlvx.pass >= 3",
                     { what: 'the recorded game to start' });
  await page.eval('document.getElementById("screen").focus()');
  // Steps, turns and edits, each waited for, so that the session holds them all.
  const moves = [['ArrowRight', 'x'], ['ArrowDown', 'y'], ['ArrowLeft', 'x']];
  for (const [key, axis] of moves) {
    const before = await page.eval(`window.tlvx.player.${axis}`);
    const pass = await page.eval('window.tlvx.pass');
    await page.press(key);
    await page.waitFor(`window.tlvx.player.${axis} !== ${before} || window.tlvx.pass > ${pass} + 40`,
                       { timeoutMs: 5000, what: `the step by ${key}` });
    for (const edit of ['+', 'f', ']']) {
      const at = await page.eval('window.tlvx.pass');
      await page.press(edit);
      await page.waitFor(`window.tlvx.pass > ${at} + 2`, { timeoutMs: 5000, what: `the passes after ${edit}` });
    }
  }
  const done = browser.waitEvent('Browser.downloadProgress', { pred: (p) => p.state !== 'inProgress', timeoutMs: 20000 });
  await page.eval("document.getElementById('record').click()");
  check((await done).state === 'completed', 'the recording downloads');
  await page.waitFor("window.tlvx.state === 'ended' && window.tlvx.recording === false", { what: 'the recorded game to end' });

  const [name] = readdirSync(downloads);
  copyFileSync(join(downloads, name), join(out, 'session.tlvxrec'));
  writeFileSync(join(out, 'screen.rgba'), await page.bytes('window.tlvx.screenRGBA()'));
  const files = await writeWorld(page, join(out, 'files'));
  const state = await page.eval('window.tlvx.state');
  writeFileSync(join(out, 'result.json'), JSON.stringify({ state, name, files, errors: page.errors,
                                                           passes: await page.eval('window.tlvx.pass') }, null, 1));

  // Watch recording: the native recording plays on a copy of its own world, steered by nothing,
  // to its end; the player's world is left alone.
  const { root } = await page.send('DOM.getDocument', { depth: -1 });
  const { nodeId } = await page.send('DOM.querySelector', { nodeId: root.nodeId, selector: '#watch-input' });
  await page.send('DOM.setFileInputFiles', { files: [watch], nodeId });
  await page.waitFor("window.tlvx.playback !== undefined && window.tlvx.playback !== '' && window.tlvx.state === 'running'",
                     { what: 'the playback to start' });
  // Its steering keys: + doubles the speed, three times.
  await page.eval('document.getElementById("screen").focus()');
  for (let i = 0; i < 3; ++i) await page.press('+');
  await page.waitFor("/speed 8/.test(window.tlvx.playback) || window.tlvx.state === 'ended'", { what: 'the playback at speed 8' });
  await page.waitFor("window.tlvx.state === 'ended' && window.tlvx.playback === ''", { timeoutMs: 20000, what: 'the playback to end' });
  check(/recording is over/.test(await page.eval('window.tlvx.message')), 'the page says the playback is over',
        await page.eval('window.tlvx.message'));
  writeFileSync(join(out, 'watched.rgba'), await page.bytes('window.tlvx.screenRGBA()'));

  // Recordings from others are untrusted: one cut short (the page's own, of several chunks) plays
  // up to the cut; a file
  // that is no recording is refused with the reason. Neither touches the player's world.
  const bytes = readFileSync(join(out, 'session.tlvxrec'));
  const offer = async (name, data, want) => {
    writeFileSync(join(out, name), data);
    await page.eval("window.tlvx.message = ''");
    await page.send('DOM.setFileInputFiles', { files: [join(out, name)], nodeId });
    const said = await page.waitFor(`window.tlvx.state === 'ended' && /${want}/.test(window.tlvx.message) && window.tlvx.message`,
                                    { timeoutMs: 15000, what: `the page's answer to ${name}` });
    check(true, `${name}: ${said}`);
  };
  await offer('cut.tlvxrec', bytes.subarray(0, bytes.length - 40), 'recording is over');
  await offer('not-a-recording.tlvxrec', Buffer.from('hello, world\n'.repeat(10)), 'cannot be played.*not a tlvx recording');
  await writeWorld(page, join(out, 'watched-files'));
  await browser.close();
  server.close();
}, { timeoutMs: 60000 });
