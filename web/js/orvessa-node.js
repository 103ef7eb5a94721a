// Orvessa in Node: the WebAssembly module read from beside this file and
// compiled synchronously, so that the functions work as soon as the import
// or require() returns (no top-level await: require() takes this module).
//
// `orvessa-node.js?path=scalar` (or literal, simd128) forces one way of
// filtering, for comparisons; the plain import picks the fastest there is.
import { readFileSync } from 'node:fs';
import { functionsOver, importsFor, wantsSimd } from './orvessa-core.js';

const forcedPath = new URL(import.meta.url).searchParams.get('path');
const file = new URL(wantsSimd(forcedPath) ? './orvessa-simd.wasm' : './orvessa.wasm', import.meta.url);
const compiled = new WebAssembly.Module(readFileSync(file));
const functions = functionsOver(new WebAssembly.Instance(compiled, importsFor(compiled)), forcedPath);

export { OrvessaError } from './orvessa-core.js';
export const { path, version, filters, blur, smooth, blurBuffer, smoothBuffer, gray, fit, scaleX, scaleY,
  moduleMemory } = functions;
/** Settled already here; awaited where the same code runs in browsers. */
export const ready = Promise.resolve();
