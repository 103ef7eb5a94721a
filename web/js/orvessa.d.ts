// The filters of Orvessa over pictures in memory, in Node and in browsers.
// Every function works synchronously on the caller's bytes, in place. No
// type of the DOM is named: a Node program without "dom" in its lib checks.

/** The pixels of a picture, top row first: an ImageData or a plain object.
 * Structural, so that a program without the DOM's types takes it too. */
export interface Picture {
  /** The bytes: RGBA (a canvas's layout) or RGB. */
  data: Uint8ClampedArray | Uint8Array;
  width: number;
  height: number;
  /** 4 (R G B A, alpha never changed) or 3 (R G B). Without a stride:
   * 4 when `data` holds exactly width × height × 4 bytes, 3 when it holds
   * × 3 (anything else is a RangeError); with a stride: 3 unless given. */
  channels?: 3 | 4;
  /** Bytes from the start of one row to the start of the next; at least
   * width × channels. Default: width × channels. */
  stride?: number;
}

/** An error of the filters with its automation error number: 6 overflow,
 * 7 out of memory, 9 subscript out of range, 11 division by zero. */
export class OrvessaError extends Error {
  readonly number: number;
  constructor(number: number, message: string);
}

/** Settles when the WebAssembly module is loaded: at once in Node; in
 * browsers the functions below raise an Error until it has. Rejects when
 * the module cannot be loaded (e.g. a page opened from a file). */
export const ready: Promise<void>;

/** Which code runs the filters here, once `ready` has settled: "simd128" or
 * "scalar" (or in Node the path forced by importing
 * `orvessa-node.js?path=NAME`, for comparisons: "literal", the plain
 * step-by-step filters, "scalar" or "simd128"). */
export const path: "simd128" | "scalar" | "literal";
/** The package's version, e.g. "1.0.9". */
export const version: string;
/** The filters' names, once `ready` has settled: each has a function of its
 * name over pictures and one of its name and "Buffer" over byte arrays. */
export const filters: readonly string[];

/** The 3 × 3 weighted blur (1 2 1 / 2 4 2 / 1 2 1 over 16), in place:
 * rows 1 … height − 3 and columns 1 … width − 2 change. Returns `image`. */
export function blur<T extends Picture>(image: T): T;
/** The edge-adaptive smoothing, in place, over the same pixels as blur. */
export function smooth<T extends Picture>(image: T): T;

export interface BufferOptions {
  /** The array's lowest index (the DLL's SAFEARRAY lower bound). Default 0. */
  lowerBound?: number;
}
/** Blur_Buffer over a 24-bit pixel buffer: rows bottom-up, each padded to a
 * multiple of four bytes, B G R. Raises OrvessaError (6, 7, 9) where the
 * buffer method raises; bytes written before the error stay written. */
export function blurBuffer(bytes: Uint8Array | Uint8ClampedArray, width: number, height: number,
                           options?: BufferOptions): void;
/** MedianCut_Buffer over the same buffer layout and with the same errors. */
export function smoothBuffer(bytes: Uint8Array | Uint8ClampedArray, width: number, height: number,
                             options?: BufferOptions): void;

export interface GrayOptions {
  /** Pure black or white by the threshold instead of a light gray. */
  twoColor?: boolean;
  /** 0 … 255; a pixel whose gray level is above it becomes white. Default 128. */
  threshold?: number;
}
/** Every pixel becomes its gray (128 + g / 2, g the mean of its three bytes)
 * or, with twoColor, white above the threshold and black otherwise. In place;
 * returns `image`. */
export function gray<T extends Picture>(image: T, options?: GrayOptions): T;

export interface Rectangle { left: number; top: number; width: number; height: number; }
/** Where a picture lands when fitted into a box with its proportions kept, centred. */
export function fit(boxWidth: number, boxHeight: number, pictureWidth: number,
                    pictureHeight: number): Rectangle;

export interface ScaleOptions {
  /** Pixels per inch. Default 96. */
  dpi?: number;
}
/** A length in HIMETRIC units (1/100 mm) in whole horizontal pixels. */
export function scaleX(himetric: number, options?: ScaleOptions): number;
/** A length in HIMETRIC units in whole vertical pixels. */
export function scaleY(himetric: number, options?: ScaleOptions): number;

/** Bytes of memory the WebAssembly module holds: it grows to the largest
 * picture filtered so far and is reused after that. */
export function moduleMemory(): number;
