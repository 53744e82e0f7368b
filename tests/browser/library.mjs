// A page from another origin uses the service the way the music front end
// does: documents with JSON fetches (so the browser sends its CORS
// preflight), the music tree, an audio element that seeks by byte range, and
// a track's title, cover image and lyrics.
//
// Environment: TESSAVIN_SERVER is the service binary; with TESSAVIN_WINE_RUN
// (tests/wine-run) it is the Windows exe, run under Wine.
// TESSAVIN_TRACK_FIXTURES holds the files tests/fixtures/make-tracks made.
// CHROMIUM overrides /usr/bin/chromium.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const binary = process.env.TESSAVIN_SERVER;
const fixtures = process.env.TESSAVIN_TRACK_FIXTURES;
const wineRun = process.env.TESSAVIN_WINE_RUN && path.resolve(process.env.TESSAVIN_WINE_RUN);
const failures = [];
const check = (ok, what) => {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures.push(what);
};
const kSeconds = 1200;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A mono 16-bit PCM WAV file of a sine tone, long enough (about 53 MB) that
// the browser cannot have it all before it seeks.
function toneWav(seconds, rate = 22050) {
  const second = Buffer.alloc(rate * 2);
  for (let i = 0; i < rate; i++) {
    second.writeInt16LE(Math.round(8000 * Math.sin((2 * Math.PI * 440 * i) / rate)), i * 2);
  }
  const size = seconds * second.length;
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + size, 4);
  header.write('WAVEfmt ', 8);
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(1, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * 2, 28);
  header.writeUInt16LE(2, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36);
  header.writeUInt32LE(size, 40);
  return Buffer.concat([header, ...Array(seconds).fill(second)]);
}

async function startService(root) {
  const app = path.join(root, 'app');
  fs.mkdirSync(path.join(app, 'data', 'music', 'Album'), { recursive: true });
  fs.writeFileSync(path.join(app, 'data', 'music', 'Album', 'Tone 440.wav'), toneWav(kSeconds));
  // A tagged FLAC with an embedded front cover, and a GBK sidecar.
  const tagged = path.join(app, 'data', 'music', 'Tagged');
  fs.mkdirSync(tagged);
  fs.copyFileSync(path.join(fixtures, 'tracks', 'tags.flac'), path.join(tagged, '01 Flac.flac'));
  fs.copyFileSync(path.join(fixtures, 'lyrics', 'chinese-gbk.lrc'), path.join(tagged, '01 Flac.lrc'));
  const copy = path.join(app, path.basename(binary));
  fs.copyFileSync(binary, copy);
  fs.chmodSync(copy, 0o755);
  const [command, args] = wineRun ? [wineRun, [copy]] : [copy, []];
  const child = spawn(command, args, {
    cwd: root,
    env: { ...process.env, ZELVO_NO_SELF_UPDATE: '1' },
    stdio: 'ignore',
  });
  const portFile = path.join(app, 'service_port.txt');
  for (let i = 0; i < 1200; i++) {
    if (fs.existsSync(portFile)) {
      const port = Number(fs.readFileSync(portFile, 'utf8'));
      try {
        const answer = await fetch(`http://127.0.0.1:${port}/api/ping`);
        if ((await answer.json()).ok) return { child, port };
      } catch {
        // not answering yet
      }
    }
    await sleep(100);
  }
  child.kill('SIGKILL');
  throw new Error('the service did not start');
}

// What runs inside the page: every step the front end takes, with results.
async function frontEnd(api) {
  const out = {};
  const json = { 'Content-Type': 'application/json' };
  const doc = { title: 'Playlist', tracks: ['Album/Tone 440.wav'], note: '\u6b4c \u00e9' };
  let r = await fetch(`${api}/api/data/playlist`, {
    method: 'PUT', headers: json, body: JSON.stringify(doc),
  });
  out.put = [r.status, await r.text()];
  r = await fetch(`${api}/api/list`);
  out.list = await r.json();
  r = await fetch(`${api}/api/data/playlist`, { headers: json });
  out.read = await r.json();
  r = await fetch(`${api}/api/data/playlist`, { method: 'DELETE', headers: json });
  out.delete = [r.status, await r.text()];
  r = await fetch(`${api}/api/data/playlist`);
  out.readAfterDelete = [r.status, await r.text()];
  r = await fetch(`${api}/api/music/tree`);
  out.tree = await r.json();

  const track = out.tree[0]?.children?.[0]?.path ?? '';
  const audio = document.createElement('audio');
  document.body.append(audio);
  const event = (name) => new Promise((resolve) => audio.addEventListener(name, resolve, { once: true }));
  const loaded = event('loadedmetadata');
  audio.src = `${api}/api/music/media?path=${encodeURIComponent(track)}`;
  await loaded;
  out.duration = audio.duration;
  out.seekableEnd = audio.seekable.length ? audio.seekable.end(0) : 0;
  await audio.play();
  const seeked = event('seeked');
  audio.currentTime = audio.duration / 2;
  await seeked;
  out.afterSeek = audio.currentTime;
  // Playing on from the middle: time moves past it (or, with no sound
  // device, playback runs to the end at once).
  await new Promise((resolve) => {
    const done = () => (audio.currentTime > out.afterSeek || audio.ended) && resolve();
    audio.addEventListener('timeupdate', done);
    audio.addEventListener('ended', resolve);
  });
  out.playedTo = audio.currentTime;
  out.error = audio.error?.message ?? null;

  // The tagged track: its title as text, its cover as an image, its lyrics.
  const tagged = encodeURIComponent(out.tree[1]?.children?.[0]?.path ?? '');
  r = await fetch(`${api}/api/music/info?path=${tagged}`);
  const info = await r.json();
  const heading = document.createElement('h1');
  heading.textContent = info.title;
  document.body.append(heading);
  out.title = document.querySelector('h1').textContent;
  out.codec = info.codec;
  out.hasCover = info.hasCover;
  const image = document.createElement('img');
  document.body.append(image);
  const shown = new Promise((resolve) => {
    image.onload = resolve;
    image.onerror = resolve;
  });
  image.src = `${api}/api/music/cover?path=${tagged}`;
  await shown;
  out.cover = [image.complete, image.naturalWidth, image.naturalHeight];
  r = await fetch(`${api}/api/music/lyrics?path=${tagged}`);
  out.lyrics = [r.status, r.headers.get('X-Lyrics-Encoding'), (await r.text()).split('\n')[0]];
  return out;
}

const root = fs.mkdtempSync(path.join(os.tmpdir(), 'tessavin-browser-'));
let service;
let browser;
let page;
const pageServer = http.createServer((request, response) => {
  response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
  response.end('<!doctype html><title>front end</title><body></body>');
});
try {
  service = await startService(root);
  await new Promise((resolve) => pageServer.listen(0, '127.0.0.1', resolve));
  const pagePort = pageServer.address().port;
  const origin = `http://127.0.0.1:${pagePort}`;
  const api = `http://127.0.0.1:${service.port}`;

  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: [
      '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--autoplay-policy=no-user-gesture-required',
      // The page counts as a public site, as the real front end does, so the
      // browser applies its local-network rules to the calls.
      `--ip-address-space-overrides=127.0.0.1:${pagePort}=public`,
    ],
  });
  const context = await browser.newContext();
  await context.grantPermissions(['local-network-access'], { origin });
  page = await context.newPage();
  const media = [];
  page.on('response', (response) => {
    if (response.url().includes('/api/music/media')) {
      media.push([response.status(), response.headers()['content-range'] ?? '']);
    }
  });
  await page.goto(origin);
  const out = await page.evaluate(frontEnd, api);

  check(out.put[0] === 200 && out.put[1] === '{"ok":true}', `PUT with a JSON type: ${out.put}`);
  check(out.list.includes('playlist.json'), `listed: ${JSON.stringify(out.list)}`);
  check(out.read.note === '\u6b4c \u00e9' && out.read.tracks[0] === 'Album/Tone 440.wav',
        'read back the same document');
  check(out.delete[0] === 200 && out.delete[1] === '{"ok":true}', `deleted: ${out.delete}`);
  check(out.readAfterDelete[0] === 404 && out.readAfterDelete[1] === '{"error":"not found"}',
        `gone after delete: ${out.readAfterDelete}`);
  check(JSON.stringify(out.tree) === JSON.stringify([{
    name: 'Album', path: 'Album', type: 'folder',
    children: [{ name: 'Tone 440.wav', path: 'Album/Tone 440.wav', type: 'audio', ext: 'wav' }],
  }, {
    name: 'Tagged', path: 'Tagged', type: 'folder',
    children: [
      { name: '01 Flac.flac', path: 'Tagged/01 Flac.flac', type: 'audio', ext: 'flac' },
      { name: '01 Flac.lrc', path: 'Tagged/01 Flac.lrc', type: 'lyric', ext: 'lrc' },
    ],
  }]), `tree: ${JSON.stringify(out.tree)}`);
  check(out.title === 'Flac Title' && out.codec === 'flac' && out.hasCover === true,
        `title shown: ${out.title}, codec ${out.codec}, cover ${out.hasCover}`);
  // The embedded cover is a 16 by 16 PNG.
  check(out.cover[0] && out.cover[1] === 16 && out.cover[2] === 16,
        `cover image shown: ${JSON.stringify(out.cover)}`);
  check(out.lyrics[0] === 200 && out.lyrics[1] === 'GB18030' &&
        out.lyrics[2] === '[ti:\u591c\u8272\u6e29\u67d4]',
        `lyrics as UTF-8, encoding readable by the page: ${JSON.stringify(out.lyrics)}`);
  check(Math.abs(out.duration - kSeconds) < 0.1, `duration ${out.duration}`);
  check(Math.abs(out.seekableEnd - out.duration) < 0.1, `seekable to ${out.seekableEnd}`);
  check(Math.abs(out.afterSeek - kSeconds / 2) < 0.5, `seeked to ${out.afterSeek}`);
  check(out.playedTo >= out.afterSeek && out.error === null,
        `played on to ${out.playedTo}, error ${out.error}`);
  const middle = media.filter(([status, range]) =>
    status === 206 && Number(range.match(/^bytes (\d+)-/)?.[1]) > 1000000);
  check(middle.length > 0, `a 206 from the middle of the file among ${JSON.stringify(media)}`);
} catch (error) {
  check(false, `${error.stack ?? error}`);
} finally {
  await browser?.close();
  pageServer.close();
  service?.child.kill('SIGKILL');
  await sleep(200);
  fs.rmSync(root, { recursive: true, force: true });
}
console.log(failures.length ? `${failures.length} failed` : 'all passed');
process.exit(failures.length ? 1 : 0);
