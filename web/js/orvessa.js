// Orvessa in browsers and bundlers: the WebAssembly module fetched from
// beside this file. Loading starts on import; `ready` settles when it is
// done (no top-level await: bundlers' default targets refuse it).
import { functionsOver, importsFor, wantsSimd } from './orvessa-core.js';

// Both addresses written out whole, so that bundlers see and carry both files.
const simdModule = new URL('./orvessa-simd.wasm', import.meta.url);
const plainModule = new URL('./orvessa.wasm', import.meta.url);

let functions = null;
async function load() {
  const url = wantsSimd(null) ? simdModule : plainModule;
  if (url.protocol === 'file:') {
    throw new Error(`orvessa: cannot fetch ${url.href}; serve the page over HTTP`);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`orvessa: cannot load ${url}: ${response.status} ${response.statusText}`);
  const bytes = await response.arrayBuffer();
  // A server's fallback page where the file is missing, e.g. where a dev server
  // moved this module away from it (vite: optimizeDeps.exclude: ['orvessa']).
  if (!/^\0asm/.test(String.fromCharCode(...new Uint8Array(bytes, 0, Math.min(4, bytes.byteLength))))) {
    throw new Error(`orvessa: ${url} gave no WebAssembly (${response.headers.get('content-type')}); ` +
      'serve the .wasm files beside orvessa.js');
  }
  const compiled = await WebAssembly.compile(bytes);
  functions = functionsOver(await WebAssembly.instantiate(compiled, importsFor(compiled)));
  path = functions.path;
  version = functions.version;
  filters = functions.filters;
}

export const ready = load();
// Kept from an unhandled rejection where only the functions' error is seen.
ready.catch(() => {});

function loaded() {
  if (functions === null) throw new Error('orvessa: the WebAssembly module is not loaded yet; await ready first');
  return functions;
}

export { OrvessaError } from './orvessa-core.js';
/** Set once `ready` settles. */
export let path;
export let version;
export let filters;
export const blur = (image) => loaded().blur(image);
export const smooth = (image) => loaded().smooth(image);
export const blurBuffer = (...args) => loaded().blurBuffer(...args);
export const smoothBuffer = (...args) => loaded().smoothBuffer(...args);
export const gray = (image, options) => loaded().gray(image, options);
export const fit = (...args) => loaded().fit(...args);
export const scaleX = (...args) => loaded().scaleX(...args);
export const scaleY = (...args) => loaded().scaleY(...args);
export const moduleMemory = () => loaded().moduleMemory();
