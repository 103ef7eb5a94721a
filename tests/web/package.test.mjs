// The npm package in Node: the same bytes as the Python package and the tool
// by every path, the buffer methods' contract, argument errors that change
// nothing, and memory that stops growing.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';

const packageDir = new URL(process.env.ORVESSA_PACKAGE ?? '../../build/web/package/', import.meta.url);
const recorded = JSON.parse(readFileSync(new URL('recorded.json', import.meta.url)));
const bytes = (b64) => new Uint8Array(Buffer.from(b64, 'base64'));

const paths = ['simd128', 'scalar', 'literal'];
const byPath = Object.fromEntries(await Promise.all(paths.map(async (path) =>
  [path, await import(new URL(`orvessa-node.js?path=${path}`, packageDir))])));
const orvessa = await import(new URL('orvessa-node.js', packageDir));

// The layouts an RGB picture can be handed over in: tight, rows with gaps,
// and RGBA with an alpha that must survive. `view` gives the RGB back.
function layouts(rgb, width, height) {
  const pad = 5, stride = 3 * width + pad;
  const strided = new Uint8Array(stride * height).fill(0xa5);
  const rgba = new Uint8ClampedArray(4 * width * height);
  for (let p = 0; p < width * height; p += 1) {
    const r = Math.floor(p / width), c = p % width;
    strided.set(rgb.subarray(3 * p, 3 * p + 3), r * stride + 3 * c);
    rgba.set(rgb.subarray(3 * p, 3 * p + 3), 4 * p);
    rgba[4 * p + 3] = (p * 7) & 255;
  }
  const rows = (image, step, size) => {
    const out = new Uint8Array(3 * width * height);
    for (let p = 0; p < width * height; p += 1) {
      const at = Math.floor(p / width) * step + size * (p % width);
      out.set(image.data.subarray(at, at + 3), 3 * p);
    }
    return out;
  };
  return [
    { name: 'rgb', image: { data: rgb.slice(), width, height }, view: (i) => rows(i, 3 * width, 3) },
    { name: 'strided rgb', image: { data: strided, width, height, stride },
      view: (i) => rows(i, stride, 3),
      kept: (i) => i.data.every((v, k) => k % stride < 3 * width || v === 0xa5) },
    { name: 'rgba', image: { data: rgba, width, height }, view: (i) => rows(i, 4 * width, 4),
      kept: (i) => i.data.every((v, k) => k % 4 !== 3 || v === ((k >> 2) * 7 & 255)) },
  ];
}

function assertFilters(module, filter, width, height, input, expected, what) {
  for (const { name, image, view, kept } of layouts(input, width, height)) {
    assert.equal(module[filter](image), image);
    assert.deepEqual(view(image), expected, `${what}, ${name}`);
    if (kept) assert.ok(kept(image), `${what}, ${name}: bytes outside the pixels changed`);
  }
}

test('filters give the Python package bytes by every path and layout', () => {
  for (const c of recorded.pictures) {
    for (const path of paths) {
      assertFilters(byPath[path], c.filter, c.width, c.height, bytes(c.input), bytes(c.output),
        `${c.filter} ${c.width}x${c.height} by ${path}`);
    }
  }
});

test('every filter of the module is exported, over pictures and buffers', () => {
  assert.ok(orvessa.filters.length >= 2);
  for (const name of orvessa.filters) {
    for (const fn of [name, `${name}Buffer`]) assert.equal(typeof orvessa[fn], 'function', fn);
  }
});

test('the vector paths equal the literal path on random pictures', () => {
  let seed = 12345;
  const random = () => (seed = (seed * 1103515245 + 12345) >>> 0) >>> 16;
  for (let n = 0; n < 60; n += 1) {
    const width = 1 + (random() % 70), height = 1 + (random() % 9);
    // Every other picture black and white only: the largest spreads.
    const rgb = new Uint8Array(3 * width * height).map(() => (n % 2 ? (random() & 1) * 255 : random() & 255));
    for (const filter of byPath.literal.filters) {
      const expected = byPath.literal[filter]({ data: rgb.slice(), width, height }).data;
      for (const path of ['simd128', 'scalar']) {
        assertFilters(byPath[path], filter, width, height, rgb, expected, `${filter} ${width}x${height} by ${path}`);
      }
    }
  }
});

test('effects give the tool\'s files', () => {
  const { width, height, input, outputs } = recorded.tool;
  const effects = {
    blur: (m, i) => m.blur(i), smooth: (m, i) => m.smooth(i),
    gray: (m, i) => m.gray(i), 'two-color': (m, i) => m.gray(i, { twoColor: true, threshold: 100 }),
  };
  for (const [effect, run] of Object.entries(effects)) {
    for (const { name, image, view } of layouts(bytes(input), width, height)) {
      run(orvessa, image);
      assert.deepEqual(view(image), bytes(outputs[effect]), `${effect}, ${name}`);
    }
  }
});

test('buffer methods keep the contract: errors by number, bytes as left', () => {
  for (const c of recorded.buffers) {
    for (const path of paths) {
      const data = bytes(c.input);
      const call = () => byPath[path][`${c.filter}Buffer`](data, c.width, c.height, { lowerBound: c.lowerBound });
      const what = `${c.filter}Buffer ${c.width}x${c.height} from ${c.lowerBound} over ${data.length} bytes by ${path}`;
      if (c.error === 0) call();
      else assert.throws(call, (e) => e.name === 'OrvessaError' && e.number === c.error, what);
      assert.deepEqual(data, bytes(c.output), what);
    }
  }
});

test('bad arguments raise TypeError or RangeError and change nothing', () => {
  const data = new Uint8Array(48).map((_, i) => i);
  const detached = new Uint8Array(48);
  structuredClone(detached.buffer, { transfer: [detached.buffer] });
  const picture = (extra) => ({ data, width: 4, height: 4, ...extra });
  const cases = [
    [TypeError, () => orvessa.blur(null)],
    [TypeError, () => orvessa.smooth({ data: [1, 2, 3], width: 1, height: 1 })],
    [TypeError, () => orvessa.blur(picture({ width: 2.5 }))],
    [RangeError, () => orvessa.blur(picture({ height: -1 }))],
    [RangeError, () => orvessa.blur(picture({ height: 5 }))],
    [RangeError, () => orvessa.blur(picture({ channels: 2 }))],
    [RangeError, () => orvessa.blur(picture({ stride: 11 }))],
    [RangeError, () => orvessa.blur(picture({ channels: 4, stride: 16 }))],
    [TypeError, () => orvessa.blur({ data: detached, width: 4, height: 4 })],
    [TypeError, () => orvessa.blurBuffer(detached, 4, 3)],
    [TypeError, () => orvessa.smoothBuffer('bytes', 4, 3)],
    [TypeError, () => orvessa.smoothBuffer(data, '4', 3)],
    [RangeError, () => orvessa.blurBuffer(data, 4, 3, { lowerBound: 2 ** 31 })],
    [TypeError, () => orvessa.blurBuffer(data, 4, 3, 7)],
    [TypeError, () => orvessa.gray(picture(), { twoColor: 'yes' })],
    [RangeError, () => orvessa.gray(picture(), { twoColor: true, threshold: 256 })],
    [TypeError, () => orvessa.scaleX('2540')],
    [RangeError, () => orvessa.scaleY(2540, { dpi: 0 })],
    [TypeError, () => orvessa.fit(400, 300, 640)],
  ];
  for (const [kind, call] of cases) {
    assert.throws(call, (e) => e instanceof kind && /must|expected|needs|holds|detached/.test(e.message), String(call));
    assert.deepEqual(data, new Uint8Array(48).map((_, i) => i), `${call} changed the data`);
  }
});

test('sizes and their errors', () => {
  assert.deepEqual(orvessa.fit(400, 300, 640, 480), { left: 0, top: 0, width: 400, height: 300 });
  assert.deepEqual(orvessa.fit(400, 400, 640, 480), { left: 0, top: 50, width: 400, height: 300 });
  assert.equal(orvessa.scaleX(2540), 96);
  assert.equal(orvessa.scaleY(-2540, { dpi: 120 }), -120);
  assert.equal(orvessa.scaleX(277.8125), 10);  // 10.5 goes to the even neighbour
  assert.throws(() => orvessa.scaleX(1e9), (e) => e instanceof orvessa.OrvessaError && e.number === 6);
  assert.throws(() => orvessa.fit(10, 10, 0, 0), (e) => e instanceof orvessa.OrvessaError && e.number === 11);
  assert.match(orvessa.version, /^\d+\.\d+\.\d+$/);
});

test('memory stops growing over 10,000 calls on changing sizes', () => {
  let grown = 0;
  for (let n = 0; n < 10000; n += 1) {
    if (n === 1000) grown = orvessa.moduleMemory();
    const width = 1 + ((n * 37) % 300), height = 1 + ((n * 11) % 200);
    const image = { data: new Uint8ClampedArray(4 * width * height), width, height };
    [orvessa.blur, orvessa.smooth, orvessa.gray][n % 3](image);
    if (n % 100 === 0) assert.throws(() => orvessa.blurBuffer(new Uint8Array(8), width, height + 3));
  }
  assert.ok(grown > 0);
  assert.equal(orvessa.moduleMemory(), grown);
});
