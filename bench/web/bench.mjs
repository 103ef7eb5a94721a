// Orvessa's WebAssembly filters beside other image libraries, in one Node process.
//   node --expose-gc bench.mjs [ROUNDS]
// ORVESSA_PACKAGE: the package folder (default ../../build/web/package).
// ORVESSA_PICTURE: the photo (default ../../sample-pictures/rocket.jpg).
// Each round runs every contender once, in an order turned by one each
// round; the table takes medians. A call's time includes the library's
// copies into and out of its own memory: every contender starts from the
// caller's bytes and ends with the result in a JavaScript-owned array.
import { createRequire } from 'node:module';
import { existsSync, readdirSync, readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { gzipSync } from 'node:zlib';
import os from 'node:os';

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(import.meta.url);
const packageDir = resolve(process.env.ORVESSA_PACKAGE || join(here, '../../build/web/package'));
const picture = resolve(process.env.ORVESSA_PICTURE || join(here, '../../sample-pictures/rocket.jpg'));
const rounds = Number(process.argv[2] || process.env.ROUNDS || 21);
const warmups = 2;
const width = 1920, height = 1080;

const sharp = require('sharp');
const { Jimp } = await import('jimp');
const photon = require('@silvia-odwyer/photon-node');
const Vips = (await import('wasm-vips')).default;
// opencv-js 4 (the build OpenCV publishes) and 5, each a module of its own.
const cv4 = await loadOpenCv('@techstark/opencv-js');
const cv5 = await loadOpenCv('opencv-js-5');
const vips = await Vips();
vips.Cache.max(0);
const vipsThreads = vips.concurrency();

let orvessa = null, scalar = null;
const sizes = [];
if (existsSync(join(packageDir, 'orvessa-node.js'))) {
  orvessa = await import(pathToFileURL(join(packageDir, 'orvessa-node.js')).href);
  // The same file under another address is a second instance, on the path without SIMD.
  scalar = await import(`${pathToFileURL(join(packageDir, 'orvessa-node.js')).href}?path=scalar`);
  // Sizes now, of the files a page loads (a rebuild may replace them meanwhile).
  for (const n of ['orvessa.js', 'orvessa-core.js', ...readdirSync(packageDir).filter((n) => n.endsWith('.wasm')).sort()]) {
    const raw = readFileSync(join(packageDir, n));
    sizes.push({ n, raw: raw.length, z: gzipSync(raw, { level: 9 }).length });
  }
} else {
  console.log(`no package at ${packageDir}: the peers only\n`);
}

// The photo, cropped to fill 1920 x 1080, once; every contender gets these bytes.
sharp.cache(false);
const rgba = new Uint8Array(await sharp(picture).resize(width, height, { fit: 'cover' })
  .ensureAlpha().raw().toBuffer());
const rgb = new Uint8Array(width * height * 3);
for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
  rgb[j] = rgba[i]; rgb[j + 1] = rgba[i + 1]; rgb[j + 2] = rgba[i + 2];
}
sharp.concurrency(1);  // one thread, like the others (set after the decode)

const mask121 = [[1, 2, 1], [2, 4, 2], [1, 2, 1]];
const vipsMask = vips.Image.newFromArray(mask121, 16, 0);
const vipsSep = vips.Image.newFromArray([1, 2, 1], 4, 0);
const jimpKernel = mask121.map((row) => row.map((v) => v / 16));

const scratch = new Uint8Array(rgba.length);

// name, filter, kind, channels, includes, run(input) -> result array
const contenders = [];
const add = (c) => contenders.push(c);

if (orvessa) {
  add({ name: 'orvessa blur', filter: 'blur', kind: 'wasm', channels: 4, includes: 'copy in, blur, copy back in place',
    run: (a) => { orvessa.blur({ data: a, width, height }); return a; } });
  add({ name: 'orvessa blur, RGB', filter: 'blur', kind: 'wasm', channels: 3, includes: 'copy in, blur, copy back in place',
    run: (a) => { orvessa.blur({ data: a, width, height, channels: 3 }); return a; } });
}
if (scalar) {
  add({ name: `orvessa blur, ${scalar.path} path`, filter: 'blur', kind: 'wasm', channels: 4,
    includes: 'copy in, blur, copy back in place',
    run: (a) => { scalar.blur({ data: a, width, height }); return a; } });
}
for (const { cv, version } of [cv4, cv5]) {
  const size = new cv.Size(3, 3);
  add({ name: `opencv-js ${version} GaussianBlur 3x3`, filter: 'blur', kind: 'wasm', channels: 4, peer: true,
    includes: 'Mat alloc, copy in, filter, copy out, delete',
    run: (a) => openCvRun(cv, cv.CV_8UC4, a, (src, dst) => cv.GaussianBlur(src, dst, size, 0, 0, cv.BORDER_DEFAULT)) });
}
add({ name: 'wasm-vips conv 1-2-1, 1 thread', filter: 'blur', kind: 'wasm', channels: 4, peer: true,
  includes: 'newFromMemory (copy in), conv integer, writeToMemory (copy out)',
  run: (a) => vipsRun(1, (im) => im.conv(vipsMask, { precision: 'integer' }), a) });
add({ name: 'wasm-vips convsep 1-2-1, 1 thread', filter: 'blur', kind: 'wasm', channels: 4, peer: true,
  includes: 'newFromMemory (copy in), convsep integer, writeToMemory (copy out)',
  run: (a) => vipsRun(1, (im) => im.convsep(vipsSep, { precision: 'integer' }), a) });
if (vipsThreads > 1) {
  add({ name: `wasm-vips conv 1-2-1, ${vipsThreads} threads`, filter: 'blur', kind: 'wasm', channels: 4, threaded: true,
    includes: 'as above, on its default threads',
    run: (a) => vipsRun(vipsThreads, (im) => im.conv(vipsMask, { precision: 'integer' }), a) });
}
add({ name: 'photon box_blur 3x3', filter: 'blur', kind: 'wasm', channels: 4, peer: true,
  includes: 'PhotonImage (copy in), filter, get_raw_pixels (copy out), free',
  run: (a) => photonRun((im) => photon.box_blur(im), a) });
add({ name: 'photon gaussian_blur r=1', filter: 'blur', kind: 'wasm', channels: 4, peer: true,
  includes: 'as above',
  run: (a) => photonRun((im) => photon.gaussian_blur(im, 1), a) });
add({ name: 'jimp convolution 1-2-1', filter: 'blur', kind: 'js', channels: 4,
  includes: 'fromBitmap (copies), convolution',
  run: (a) => Jimp.fromBitmap({ data: Buffer.from(a.buffer, a.byteOffset, a.length), width, height })
    .convolution(jimpKernel).bitmap.data });
add({ name: 'sharp blur sigma 0.85 (3 taps), 1 thread', filter: 'blur', kind: 'native', channels: 4,
  includes: 'raw in, integer gaussblur, raw Buffer out (async)',
  run: (a) => sharp(a, { raw: { width, height, channels: 4 } })
    .blur({ sigma: 0.85, precision: 'integer' }).raw().toBuffer() });
// sharp's convolve works in floats on premultiplied RGBA: slower than its blur.
add({ name: 'sharp convolve 1-2-1, 1 thread', filter: 'blur', kind: 'native', channels: 4,
  includes: 'raw in, convolve, raw Buffer out (async)',
  run: (a) => sharp(a, { raw: { width, height, channels: 4 } })
    .convolve({ width: 3, height: 3, kernel: mask121.flat(), scale: 16 }).raw().toBuffer() });
if (orvessa) {
  add({ name: 'orvessa smooth', filter: 'smooth', kind: 'wasm', channels: 4, includes: 'copy in, smooth, copy back in place',
    run: (a) => { orvessa.smooth({ data: a, width, height }); return a; } });
  add({ name: 'orvessa smooth, RGB', filter: 'smooth', kind: 'wasm', channels: 3, includes: 'copy in, smooth, copy back in place',
    run: (a) => { orvessa.smooth({ data: a, width, height, channels: 3 }); return a; } });
}
for (const { cv, version } of [cv4, cv5]) {
  add({ name: `opencv-js ${version} bilateralFilter d=3, RGB`, filter: 'smooth', kind: 'wasm', channels: 3, peer: true,
    includes: 'Mat alloc, copy in, filter (sigmas 75, 75), copy out, delete',
    run: (a) => openCvRun(cv, cv.CV_8UC3, a, (src, dst) => cv.bilateralFilter(src, dst, 3, 75, 75, cv.BORDER_DEFAULT)) });
}
if (scalar) {
  add({ name: `orvessa smooth, ${scalar.path} path`, filter: 'smooth', kind: 'wasm', channels: 4,
    includes: 'copy in, smooth, copy back in place',
    run: (a) => { scalar.smooth({ data: a, width, height }); return a; } });
}
add({ name: 'two copies of the RGBA bytes', filter: 'copy', kind: 'js', channels: 4,
  includes: 'what copy in + copy out cost at least (TypedArray.set twice)',
  run: (a) => { scratch.set(a); a.set(scratch); return a; } });
function openCvRun(cv, type, a, op) {
  const src = new cv.Mat(height, width, type);
  const dst = new cv.Mat();
  src.data.set(a);
  op(src, dst);
  const out = dst.data.slice();
  src.delete(); dst.delete();
  return out;
}
function vipsRun(threads, op, a) {
  vips.concurrency(threads);
  const im = vips.Image.newFromMemory(a, width, height, 4, 'uchar');
  const out = op(im);
  const bytes = out.writeToMemory();
  out.delete(); im.delete();
  return bytes;
}
function photonRun(op, a) {
  const im = new photon.PhotonImage(a, width, height);
  op(im);
  const out = im.get_raw_pixels();
  im.free();
  return out;
}

// The 1-2-1 blur in plain JavaScript, to check what the others return.
function reference(src, ch) {
  const out = src.slice(), row = width * ch;
  for (let y = 1; y < height - 1; y++) {
    for (let x = ch; x < row - ch; x++) {
      if (ch === 4 && x % 4 === 3) continue;
      const i = y * row + x;
      const s = src[i - row - ch] + 2 * src[i - row] + src[i - row + ch]
        + 2 * src[i - ch] + 4 * src[i] + 2 * src[i + ch]
        + src[i + row - ch] + 2 * src[i + row] + src[i + row + ch];
      out[i] = (s + 8) >> 4;
    }
  }
  return out;
}
const refs = { 3: reference(rgb, 3), 4: reference(rgba, 4) };

// Over the pixels every filter changes (rows 1 .. height - 3, columns 1 ..
// width - 2), colour bytes: mean |result - input|, mean and largest
// |result - 1-2-1 reference|; and whether alpha stayed.
function check(c, out) {
  const ch = c.channels, src = ch === 4 ? rgba : rgb, ref = refs[ch], row = width * ch;
  let change = 0, off = 0, worst = 0, n = 0, alpha = true;
  for (let y = 1; y <= height - 3; y++) {
    for (let x = ch; x < row - ch; x++) {
      const i = y * row + x;
      if (ch === 4 && x % 4 === 3) { if (out[i] !== src[i]) alpha = false; continue; }
      change += Math.abs(out[i] - src[i]);
      const d = Math.abs(out[i] - ref[i]);
      off += d; if (d > worst) worst = d;
      n++;
    }
  }
  return { change: change / n, off: off / n, worst, alpha };
}

const times = contenders.map(() => []);
const results = contenders.map(() => null);
for (let r = -warmups; r < rounds; r++) {
  const turn = ((r % contenders.length) + contenders.length) % contenders.length;
  for (let k = 0; k < contenders.length; k++) {
    const i = (k + turn) % contenders.length, c = contenders[i];
    const input = (c.channels === 4 ? rgba : rgb).slice();
    globalThis.gc?.();
    const start = performance.now();
    const out = await c.run(input);
    const took = performance.now() - start;
    if (r >= 0) times[i].push(took);
    else if (r === -warmups) results[i] = check(c, out);
  }
}

const median = (v) => { const s = [...v].sort((a, b) => a - b), h = s.length >> 1; return s.length % 2 ? s[h] : (s[h - 1] + s[h]) / 2; };
const stats = times.map((t) => ({ median: median(t), min: Math.min(...t), max: Math.max(...t) }));
const f = (v, d = 2) => v.toFixed(d);

console.log(`${width} x ${height} from ${picture.split('/').pop()}, Node ${process.versions.node}, ` +
  `${os.cpus().length} cores; ${rounds} rounds after ${warmups} warm-up rounds, each contender once a round, order turned; ` +
  `milliseconds per call${globalThis.gc ? ', GC run before each call' : ''}`);
if (orvessa) console.log(`orvessa ${orvessa.version} from ${packageDir}, path: ${orvessa.path}`);
console.log(`opencv-js ${cv4.version} and ${cv5.version}, wasm-vips ${vips.version()} (${vipsThreads} threads by default), ` +
  `photon-node, jimp, sharp ${sharp.versions.sharp} (libvips ${sharp.versions.vips}, native, concurrency 1)`);
console.log('');
console.log('| contender | kind | ch | median ms | min | max | mean change | mean / max off 1-2-1 | alpha kept | call includes |');
console.log('|---|---|---:|---:|---:|---:|---:|---:|---|---|');
contenders.forEach((c, i) => {
  const s = stats[i], q = results[i];
  console.log(`| ${c.name} | ${c.kind} | ${c.channels} | ${f(s.median)} | ${f(s.min)} | ${f(s.max)} | ` +
    `${c.filter === 'copy' ? '' : f(q.change)} | ${c.filter === 'copy' ? '' : `${f(q.off)} / ${q.worst}`} | ` +
    `${c.channels === 4 && c.filter !== 'copy' ? (q.alpha ? 'yes' : 'no') : ''} | ${c.includes} |`);
});
console.log('');

const pick = (test) => contenders.map((c, i) => ({ c, s: stats[i] })).filter(({ c }) => test(c));
const fastest = (list) => list.reduce((a, b) => (b.s.median < a.s.median ? b : a));
const wasmBlurPeers = pick((c) => c.peer && c.filter === 'blur');
const bestPeer = fastest(wasmBlurPeers);
console.log(`fastest single-threaded WebAssembly blur peer: ${bestPeer.c.name}, ${f(bestPeer.s.median)} ms`);
if (orvessa) {
  const [ob] = pick((c) => c.name === 'orvessa blur');
  const [obRgb] = pick((c) => c.name === 'orvessa blur, RGB');
  const [os4] = pick((c) => c.name === 'orvessa smooth');
  const [os3] = pick((c) => c.name === 'orvessa smooth, RGB');
  const bil = fastest(pick((c) => c.filter === 'smooth' && c.peer));
  const ratio = (peer, own) => f(peer.s.median / own.s.median);
  const goal = (v, g) => (v >= g ? 'met' : 'MISSED');
  const rb = bestPeer.s.median / ob.s.median, rs = bil.s.median / os4.s.median;
  console.log(`orvessa blur (RGBA) is ${f(rb)}x as fast as ${bestPeer.c.name} (goal >= 2: ${goal(rb, 2)}); ` +
    `RGB: ${ratio(bestPeer, obRgb)}x`);
  for (const t of pick((c) => c.threaded)) console.log(`  and ${ratio(t, ob)}x as fast as ${t.c.name}`);
  console.log(`orvessa smooth (RGBA) is ${f(rs)}x as fast as ${bil.c.name} (goal >= 2: ${goal(rs, 2)}); ` +
    `RGB: ${ratio(bil, os3)}x`);
  const [sb] = pick((c) => c.filter === 'blur' && c.name.endsWith('scalar path'));
  const [ss] = pick((c) => c.filter === 'smooth' && c.name.endsWith('scalar path'));
  if (sb && ss) {
    console.log(`without SIMD (scalar path, RGBA): blur ${ratio(bestPeer, sb)}x the fastest blur peer, ` +
      `smooth ${ratio(bil, ss)}x the bilateral`);
  }
  console.log('');
  let total = 0;
  for (const { n, raw, z } of sizes) {
    total += z;
    console.log(`${n}: ${raw} bytes, gzipped ${z} (${f(z / 1024, 1)} KB)`);
  }
  console.log(`runtime files gzipped (-9): ${f(total / 1024, 1)} KB (goal <= 150 KB: ${goal(150 * 1024, total)})`);
}
console.log('goals: blur >= 2x the fastest WebAssembly peer, smooth >= 2x the faster opencv-js bilateral, <= 150 KB gzipped');

async function loadOpenCv(name) {
  // Either a Promise of the module or the module, which is a thenable whose
  // then() hands back itself (never await it as is); it also hooks the
  // process's errors, printing all its source on one: unhook.
  const hooks = ['uncaughtException', 'unhandledRejection'].map((e) => [e, process.listeners(e)]);
  let m = require(name);
  if (m instanceof Promise) m = (await m.then((x) => [x]))[0];
  else if (!m.Mat) await new Promise((done) => { m.onRuntimeInitialized = done; });
  for (const [e, had] of hooks) {
    for (const l of process.listeners(e)) if (!had.includes(l)) process.off(e, l);
  }
  const v = /Version control:\s*(\S+)/.exec(m.getBuildInformation());
  return { cv: m, version: v ? v[1] : '?' };
}

vips.shutdown();
process.exit(0);
