// Orvessa's functions over one instance of the WebAssembly module, and the
// checks that keep bad arguments away from it. The entries load the module:
// orvessa.js in browsers and bundlers, orvessa-node.js in Node.

// A module of one function using a 128-bit SIMD instruction.
const simdProbe = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0,
  10, 10, 1, 8, 0, 65, 0, 253, 15, 253, 98, 11]);

/** Whether to load orvessa-simd.wasm rather than orvessa.wasm. */
export function wantsSimd(forcedPath) {
  return WebAssembly.validate(simdProbe) && forcedPath !== 'scalar';
}

// The module asks for no service of its host but a notice of memory growth;
// anything else it imports is there only for paths that must not be taken.
export function importsFor(module) {
  const imports = {};
  for (const { module: from, name } of WebAssembly.Module.imports(module)) {
    imports[from] ??= {};
    imports[from][name] = name === 'emscripten_notify_memory_growth'
      ? () => {}
      : () => { throw new Error(`orvessa: the WebAssembly module called ${from}.${name}`); };
  }
  return imports;
}

/** An error of the filters with its automation error number. */
export class OrvessaError extends Error {
  constructor(number, message) {
    super(message);
    this.name = 'OrvessaError';
    this.number = number;
  }
}

// ---- argument checks: each names what it expected and changes nothing

const int32Max = 2 ** 31 - 1;

function describe(value) {
  if (value === null) return 'null';
  if (Array.isArray(value)) return 'an Array';
  if (typeof value === 'object') return value.constructor?.name ?? 'an object';
  return `${typeof value} ${String(value)}`;
}

function integer(value, name, min, max) {
  if (typeof value !== 'number' || !Number.isInteger(value)) {
    throw new TypeError(`${name} must be an integer, got ${describe(value)}`);
  }
  if (value < min || value > max) throw new RangeError(`${name} must be ${min} to ${max}, got ${value}`);
  return value;
}

function isDetached(buffer) {
  if (typeof buffer.detached === 'boolean') return buffer.detached;
  try {
    new Uint8Array(buffer, 0, 0);
    return false;
  } catch {
    return true;
  }
}

function byteArray(value, name) {
  if (!(value instanceof Uint8Array || value instanceof Uint8ClampedArray)) {
    throw new TypeError(`${name} must be a Uint8Array or Uint8ClampedArray, got ${describe(value)}`);
  }
  if (isDetached(value.buffer)) throw new TypeError(`${name} is detached (transferred elsewhere)`);
  return value;
}

function options(value, name) {
  if (value === undefined) return {};
  if (value === null || typeof value !== 'object') throw new TypeError(`${name} must be an object, got ${describe(value)}`);
  return value;
}

// The layout of a picture argument: its bytes, size, bytes a pixel and row distance.
function layoutOf(image, fn) {
  if (image === null || typeof image !== 'object') {
    throw new TypeError(`${fn}: expected an ImageData or {data, width, height}, got ${describe(image)}`);
  }
  const data = byteArray(image.data, `${fn}: image.data`);
  const width = integer(image.width, `${fn}: image.width`, 0, int32Max);
  const height = integer(image.height, `${fn}: image.height`, 0, int32Max);
  let { channels, stride } = image;
  if (channels === undefined) {
    if (stride !== undefined) channels = 3;
    else if (data.length === width * height * 4) channels = 4;
    else if (data.length === width * height * 3) channels = 3;
    else {
      throw new RangeError(`${fn}: a ${width} x ${height} picture holds ${width * height * 4} bytes (RGBA) ` +
        `or ${width * height * 3} (RGB), data holds ${data.length}; give channels and stride for other layouts`);
    }
  } else if (channels !== 3 && channels !== 4) {
    throw new RangeError(`${fn}: image.channels must be 3 or 4, got ${describe(channels)}`);
  }
  stride = stride === undefined ? width * channels
    : integer(stride, `${fn}: image.stride`, width * channels, int32Max);
  const span = width === 0 || height === 0 ? 0 : (height - 1) * stride + width * channels;
  if (data.length < span) {
    throw new RangeError(`${fn}: a ${width} x ${height} picture of ${channels} bytes a pixel, rows ${stride} ` +
      `bytes apart, needs ${span} bytes; data holds ${data.length}`);
  }
  return { data, width, height, channels, stride, span };
}

/** The functions over an instance of the module: one instance, one set. */
export function functionsOver(instance, forcedPath = null) {
  const wasm = instance.exports;
  wasm._initialize();

  // Views of the module's memory are made afresh: growth replaces its buffer.
  const heap = () => new Uint8Array(wasm.memory.buffer);

  function text(pointer) {
    const bytes = heap();
    let end = pointer;
    while (bytes[end] !== 0) end += 1;
    return new TextDecoder().decode(bytes.subarray(pointer, end));
  }

  function check(status) {
    if (status !== 0) throw new OrvessaError(status, text(wasm.orvessa_error_text()));
  }

  if (forcedPath !== null) {
    const name = new TextEncoder().encode(`${forcedPath}\0`);
    const pointer = wasm.orvessa_alloc(name.length);
    heap().set(name, pointer);
    const status = wasm.orvessa_force_path(pointer);
    wasm.orvessa_free(pointer);
    if (status !== 0) throw new Error(`orvessa: no filter path ${forcedPath} here`);
  }

  // The filters' numbers in the module, by name.
  const filterNumbers = new Map();
  for (let i = 0, name; (name = wasm.orvessa_filter_name(i)) !== 0; i += 1) filterNumbers.set(text(name), i);

  // Runs `work(pointer)` over a copy of `bytes` in the module's memory; the
  // copy comes back when the work succeeded, or always where `always` is set.
  function inModule(bytes, work, always = false) {
    const pointer = wasm.orvessa_alloc(bytes.length);
    if (pointer === 0) throw new OrvessaError(7, 'Out of memory');
    try {
      heap().set(bytes, pointer);
      let status;
      try {
        status = work(pointer);
      } finally {
        if (status === 0 || always) bytes.set(heap().subarray(pointer, pointer + bytes.length));
      }
      check(status);
    } finally {
      wasm.orvessa_free(pointer);
    }
  }

  // A picture's bytes through `work`: only those its rows reach, none for an empty one.
  function overPicture(p, work) {
    if (p.span > 0) inModule(p.data.subarray(0, p.span), work);
  }

  // ---- the functions

  function pictureFilter(name) {
    const filter = filterNumbers.get(name);
    if (filter === undefined) throw new Error(`orvessa: the module has no filter ${name}`);
    return function (image) {
      const p = layoutOf(image, name);
      overPicture(p, (pointer) => wasm.orvessa_filter_picture(filter, pointer, p.width, p.height, p.stride, p.channels));
      return image;
    };
  }

  function bufferFilter(name) {
    const filter = filterNumbers.get(name);
    return function (bytes, width, height, settings) {
      byteArray(bytes, `${name}Buffer: bytes`);
      integer(width, `${name}Buffer: width`, -(2 ** 31), int32Max);
      integer(height, `${name}Buffer: height`, -(2 ** 31), int32Max);
      const lowerBound = integer(options(settings, `${name}Buffer: options`).lowerBound ?? 0,
        `${name}Buffer: lowerBound`, -(2 ** 31), int32Max);
      inModule(bytes, (pointer) =>
        wasm.orvessa_filter_buffer(filter, pointer, bytes.length, lowerBound, width, height), true);
    };
  }

  // Each filter of the module's table, over pictures and over buffers.
  const filters = Object.freeze([...filterNumbers.keys()]);
  const filterFunctions = {};
  for (const name of filters) {
    filterFunctions[name] = pictureFilter(name);
    filterFunctions[`${name}Buffer`] = bufferFilter(name);
  }

  function gray(image, settings) {
    const p = layoutOf(image, 'gray');
    const { twoColor = false, threshold = 128 } = options(settings, 'gray: options');
    if (typeof twoColor !== 'boolean') throw new TypeError(`gray: twoColor must be a boolean, got ${describe(twoColor)}`);
    // The library's rule (include/orvessa/argument_rules.hpp), in its words.
    integer(threshold, 'gray: threshold', 0, 255);
    overPicture(p, (pointer) =>
      wasm.orvessa_gray_picture(pointer, p.width, p.height, p.stride, p.channels, twoColor ? 1 : 0, threshold));
    return image;
  }

  // Four 32-bit results at once, in the module's memory.
  function int32Results(count, work) {
    const pointer = wasm.orvessa_alloc(4 * count);
    if (pointer === 0) throw new OrvessaError(7, 'Out of memory');
    try {
      check(work(pointer));
      return Array.from(new Int32Array(wasm.memory.buffer, pointer, count));
    } finally {
      wasm.orvessa_free(pointer);
    }
  }

  function fit(boxWidth, boxHeight, pictureWidth, pictureHeight) {
    const sizes = [boxWidth, boxHeight, pictureWidth, pictureHeight];
    ['boxWidth', 'boxHeight', 'pictureWidth', 'pictureHeight'].forEach((name, i) =>
      integer(sizes[i], `fit: ${name}`, -(2 ** 31), int32Max));
    const [left, top, width, height] = int32Results(4, (pointer) => wasm.orvessa_fit(...sizes, pointer));
    return { left, top, width, height };
  }

  function scale(axis, fn) {
    return function (himetric, settings) {
      if (typeof himetric !== 'number') throw new TypeError(`${fn}: himetric must be a number, got ${describe(himetric)}`);
      const dpi = options(settings, `${fn}: options`).dpi ?? 96;
      // The library's rule (include/orvessa/argument_rules.hpp), in its words.
      if (Number.isInteger(dpi) && dpi < 1) throw new RangeError(`${fn}: dpi must be positive, got ${dpi}`);
      integer(dpi, `${fn}: dpi`, 1, int32Max);
      return int32Results(1, (pointer) => wasm.orvessa_scale(axis, himetric, dpi, pointer))[0];
    };
  }

  const scaleX = scale(0, 'scaleX');
  const scaleY = scale(1, 'scaleY');

  function moduleMemory() {
    return wasm.memory.buffer.byteLength;
  }

  return {
    path: text(wasm.orvessa_path_name()), version: text(wasm.orvessa_version()), filters,
    ...filterFunctions, gray, fit, scaleX, scaleY, moduleMemory,
  };
}
