// The demonstration page (out/web) in headless Chromium: every effect gives
// the orvessa tool's pixels for the same picture, applying again filters the
// result again, the download is a PNG of the result, a broken file is
// reported, and nothing is logged as an error or fetched from elsewhere.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { serve } from './serve.mjs';

const root = path.resolve(import.meta.dirname, '../..');
const site = path.resolve(process.env.ORVESSA_WEB_DIR ?? path.join(root, 'out/web'));
const tool = process.env.ORVESSA_TOOL ?? path.join(root, 'build/native/orvessa');
const chromiumPath = '/usr/bin/chromium';
const skip = fs.existsSync(chromiumPath) ? false : `no Chromium at ${chromiumPath}`;

function assertSamePixels(got, expected, what) {
  assert.deepEqual([got.width, got.height], [expected.width, expected.height], `${what}: size`);
  const wrong = got.data.findIndex((v, i) => v !== expected.data[i]);
  assert.equal(wrong, -1, `${what}: differs from the tool's at byte ${wrong}`);
}

describe('demonstration page', { skip }, () => {
  let work, profile, server, context, page, origin, picture, lib;
  const toolFiles = {};
  const expected = async (name) => pixelsOf(null, toolFiles[name]);
  const problems = [];

  before(async () => {
    assert.ok(fs.existsSync(path.join(site, 'index.html')), `no page in ${site}: run scripts/demo-web.sh`);
    assert.ok(fs.existsSync(tool), `no orvessa tool at ${tool}`);
    work = fs.mkdtempSync(path.join(os.tmpdir(), 'orvessa-page-'));
    profile = fs.mkdtempSync(path.join(os.tmpdir(), 'orvessa-chromium-'));

    // A photo as a 24-bit BMP, which browsers decode exactly, and the
    // tool's results for it as PNG files, decoded in the page below.
    picture = path.join(root, 'sample-pictures/coffee.bmp');
    const run = (name, ...args) => {
      const out = path.join(work, `${name}.png`);
      execFileSync(tool, [...args, out], { stdio: ['ignore', 'ignore', 'pipe'] });
      toolFiles[name] = fs.readFileSync(out);
    };
    run('blur', 'blur', picture);
    run('blur-twice', 'blur', path.join(work, 'blur.png'));
    run('smooth', 'smooth', picture);
    run('gray', 'gray', picture);
    run('two-color', 'gray', '--two-color', '--threshold', '100', picture);
    run('two-color-128', 'gray', '--two-color', picture);
    assert.ok(!toolFiles['two-color'].equals(toolFiles['two-color-128']), 'the threshold would go untested');

    server = await serve(site);
    origin = `http://127.0.0.1:${server.address().port}`;
    const { chromium } = await import('playwright-core');
    context = await chromium.launchPersistentContext(profile, {
      executablePath: chromiumPath, headless: true, acceptDownloads: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
    });
    page = context.pages()[0] ?? await context.newPage();
    page.on('console', (m) => m.type() === 'error' && problems.push(`console: ${m.text()}`));
    page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
    page.on('requestfailed', (r) => problems.push(`failed: ${r.url()}`));
    page.on('response', (r) => r.status() >= 400 && problems.push(`${r.status()}: ${r.url()}`));
    page.on('request', (r) => {
      if (!r.url().startsWith(`${origin}/`) && !/^(data|blob):/.test(r.url())) problems.push(`outside: ${r.url()}`);
    });
    await page.goto(`${origin}/`);
    await page.waitForFunction(() =>
      !document.getElementById('library').textContent.includes('Loading') || !document.getElementById('error').hidden);
    assert.equal(await page.textContent('#error'), '', 'the page could not load the filters');
    lib = await page.evaluate(async () => {
      const orvessa = await import('./orvessa/orvessa.js');
      await orvessa.ready;
      return { path: orvessa.path, version: orvessa.version };
    });
  });

  after(async () => {
    await context?.close();
    server?.closeAllConnections();
    await new Promise((resolve) => (server ? server.close(resolve) : resolve()));
    for (const dir of [work, profile]) if (dir) fs.rmSync(dir, { recursive: true, force: true });
  });

  const state = () => page.evaluate(() => document.body.dataset.state);
  const errorText = () => page.evaluate(() => { const e = document.getElementById('error'); return e.hidden ? '' : e.textContent; });
  const settled = (states) =>
    page.waitForFunction((s) => s.includes(document.body.dataset.state), states, { timeout: 10_000 });

  async function open(file) {
    await page.setInputFiles('#picture', file);
    await settled(['ready', 'error']);
  }
  async function apply(effect, threshold) {
    await page.selectOption('#effect', effect);
    if (threshold !== undefined) await page.fill('#threshold', String(threshold));
    await page.click('#apply');
    await settled(['done', 'error']);
    assert.equal(await state(), 'done', await errorText());
  }
  // RGBA pixels of a canvas of the page (by id) or of PNG bytes decoded there.
  async function pixelsOf(id, png) {
    const r = await page.evaluate(async ({ id, png }) => {
      let c = document.getElementById(id);
      if (png) {
        const bytes = Uint8Array.from(atob(png), (ch) => ch.charCodeAt(0));
        const bitmap = await createImageBitmap(new Blob([bytes]), { premultiplyAlpha: 'none', colorSpaceConversion: 'none' });
        c = new OffscreenCanvas(bitmap.width, bitmap.height);
        c.getContext('2d').drawImage(bitmap, 0, 0);
      }
      const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      let s = '';
      for (let i = 0; i < data.length; i += 0x8000) s += String.fromCharCode(...data.subarray(i, i + 0x8000));
      return { width: c.width, height: c.height, data: btoa(s) };
    }, { id, png: png?.toString('base64') });
    return { ...r, data: Buffer.from(r.data, 'base64') };
  }

  test('shows the version and the path of the filters it loaded', async () => {
    assert.match(lib.path, /^(simd128|scalar)$/);
    assert.equal(await page.textContent('#library'), `orvessa ${lib.version}, ${lib.path} path`);
  });

  test('each effect on a freshly opened picture gives the tool\'s pixels', async (t) => {
    for (const [effect, threshold] of [['blur'], ['smooth'], ['gray'], ['two-color', 100]]) {
      await t.test(effect, async () => {
        await open(picture);
        assert.equal(await state(), 'ready', await errorText());
        assert.match(await page.textContent('#status'), /coffee\.bmp: 600 × 400\b/);
        await apply(effect, threshold);
        const result = await pixelsOf('result');
        assertSamePixels(result, await expected(effect), effect);
        assert.ok(!result.data.equals((await pixelsOf('original')).data), `${effect} changed nothing`);
        assert.match(await page.textContent('#status'), new RegExp(`\\d+\\.\\d ms in the worker, ${lib.path} path`));
      });
    }
  });

  test('a picture dropped onto the page opens', async () => {
    await page.evaluate(async (base64) => {
      const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
      const files = new DataTransfer();
      files.items.add(new File([bytes], 'dropped.bmp', { type: 'image/bmp' }));
      for (const type of ['dragenter', 'dragover', 'drop']) {
        document.body.dispatchEvent(new DragEvent(type, { dataTransfer: files, bubbles: true, cancelable: true }));
      }
    }, fs.readFileSync(picture).toString('base64'));
    await settled(['ready', 'error']);
    assert.equal(await state(), 'ready', await errorText());
    assert.match(await page.textContent('#status'), /^dropped\.bmp: 600 × 400/);
  });

  test('applying again filters the result again', async () => {
    await open(picture);
    await apply('blur');
    await apply('blur');
    assertSamePixels(await pixelsOf('result'), await expected('blur-twice'), 'blur twice');
  });

  test('the download is a PNG of the result canvas', async () => {
    const canvas = await pixelsOf('result');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    assert.match(download.suggestedFilename(), /\.png$/);
    const file = fs.readFileSync(await download.path());
    assert.equal(file.subarray(0, 8).toString('hex'), '89504e470d0a1a0a', 'no PNG signature');
    const decoded = await pixelsOf(null, file);
    assert.deepEqual([decoded.width, decoded.height], [canvas.width, canvas.height]);
    assert.ok(decoded.data.equals(canvas.data), 'the PNG\'s pixels differ from the canvas');
  });

  test('a file that is no picture is reported', async () => {
    await open({ name: 'notes.png', mimeType: 'image/png', buffer: Buffer.from('not a picture\n') });
    assert.equal(await state(), 'error');
    assert.match(await errorText(), /notes\.png could not be read/);
    assert.ok(await page.isDisabled('#apply'));
  });

  test('no errors logged, no request failed or went elsewhere', () => {
    assert.deepEqual(problems, []);
  });
});
