// A page from another origin plays, through the decoded route, the kinds
// Chromium cannot play from their own bytes: APE, WMA 2, WMA Lossless and
// ALAC (16 and 24 bits). Each must report its real duration and, after a
// seek to 90 %, play on from there within a second.
//
// Environment: TESSAVIN_SERVER is the service binary; with TESSAVIN_WINE_RUN
// (tests/wine-run) it is the Windows exe, run under Wine. TESSAVIN_TAGLIB_SAMPLES
// holds TagLib's sample files. CHROMIUM overrides /usr/bin/chromium.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const binary = process.env.TESSAVIN_SERVER;
const samples = process.env.TESSAVIN_TAGLIB_SAMPLES;
const wineRun = process.env.TESSAVIN_WINE_RUN && path.resolve(process.env.TESSAVIN_WINE_RUN);
const failures = [];
const check = (ok, what) => {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures.push(what);
};
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The files, made by Debian's ffmpeg from a generated tone, and TagLib's
// samples; with the duration ffprobe reads from each.
function makeMusic(music) {
  const ff = (...args) => execFileSync('ffmpeg', ['-v', 'error', '-nostdin', '-y', ...args]);
  const tone = path.join(music, 'tone.wav');
  ff('-f', 'lavfi', '-i', 'aevalsrc=0.3*sin(2*PI*440*t)|0.3*sin(2*PI*660*t):s=44100:d=120', tone);
  ff('-i', tone, '-c:a', 'alac', path.join(music, 'Tone ALAC.m4a'));
  ff('-i', tone, '-c:a', 'alac', '-sample_fmt', 's32p', path.join(music, 'Tone ALAC 24.m4a'));
  ff('-i', tone, '-c:a', 'wmav2', '-b:a', '128k', path.join(music, 'Tone.wma'));
  fs.rmSync(tone);
  fs.copyFileSync(path.join(samples, 'mac-399.ape'), path.join(music, 'Sample.ape'));
  fs.copyFileSync(path.join(samples, 'lossless.wma'), path.join(music, 'Sample Lossless.wma'));
  return fs.readdirSync(music).map((name) => [name, Number(execFileSync('ffprobe', [
    '-v', 'error', '-show_entries', 'format=duration', '-of', 'default=nw=1:nk=1',
    path.join(music, name)]).toString())]);
}

async function startService(root) {
  const app = path.join(root, 'app');
  const music = path.join(app, 'data', 'music');
  fs.mkdirSync(music, { recursive: true });
  const files = makeMusic(music);
  const copy = path.join(app, path.basename(binary));
  fs.copyFileSync(binary, copy);
  fs.chmodSync(copy, 0o755);
  const [command, args] = wineRun ? [wineRun, [copy]] : [copy, []];
  const child = spawn(command, args, {
    cwd: root, env: { ...process.env, ZELVO_NO_SELF_UPDATE: '1' }, stdio: 'ignore',
  });
  const portFile = path.join(app, 'service_port.txt');
  for (let i = 0; i < 1200; i++) {
    if (fs.existsSync(portFile)) {
      const port = Number(fs.readFileSync(portFile, 'utf8'));
      try {
        const answer = await fetch(`http://127.0.0.1:${port}/api/ping`);
        if ((await answer.json()).ok) return { child, port, files };
      } catch {
        // not answering yet
      }
    }
    await sleep(100);
  }
  child.kill('SIGKILL');
  throw new Error('the service did not start');
}

// In the page: play one file through the decoded route, seek to 90 %, and
// time how long until playback moves on from there.
async function playAndSeek([api, name]) {
  const audio = document.createElement('audio');
  document.body.append(audio);
  const event = (type) => new Promise((resolve, reject) => {
    audio.addEventListener(type, resolve, { once: true });
    audio.addEventListener('error', () => reject(new Error(audio.error?.message ?? 'error')),
                           { once: true });
  });
  try {
    const loaded = event('loadedmetadata');
    audio.src = `${api}/api/music/decoded?path=${encodeURIComponent(name)}`;
    await loaded;
    const duration = audio.duration;
    await audio.play();
    const target = duration * 0.9;
    const asked = performance.now();
    audio.currentTime = target;
    await new Promise((resolve) => {
      const done = () => (audio.currentTime > target + 0.05 || audio.ended) && resolve();
      audio.addEventListener('timeupdate', done);
      audio.addEventListener('ended', resolve);
    });
    return { duration, target, playedTo: audio.currentTime, ms: performance.now() - asked,
             error: audio.error?.message ?? null };
  } catch (error) {
    return { error: String(error) };
  } finally {
    audio.pause();
    audio.remove();
  }
}

const root = fs.mkdtempSync(path.join(os.tmpdir(), 'tessavin-decoded-browser-'));
let service;
let browser;
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
      `--ip-address-space-overrides=127.0.0.1:${pagePort}=public`,
    ],
  });
  const context = await browser.newContext();
  await context.grantPermissions(['local-network-access'], { origin });
  const page = await context.newPage();
  await page.goto(origin);
  for (const [name, seconds] of service.files) {
    const out = await page.evaluate(playAndSeek, [api, name]);
    check(out.error === null, `${name}: plays (${out.error})`);
    // ASF states its length in whole milliseconds, MP4 and APE exactly.
    check(Math.abs(out.duration - seconds) < 0.05, `${name}: duration ${out.duration} of ${seconds}`);
    check(out.playedTo >= out.target && out.ms < 1000,
          `${name}: after a seek to ${out.target?.toFixed(2)} s, at ${out.playedTo?.toFixed(2)} s ` +
          `in ${out.ms?.toFixed(0)} ms`);
  }
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
