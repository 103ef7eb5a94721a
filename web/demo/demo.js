// The demonstration page: opens a picture in the browser, runs the chosen
// effect in a worker and shows the result beside the original.
const $ = (id) => document.getElementById(id);
const picture = $('picture'), effect = $('effect'), threshold = $('threshold');
const apply = $('apply'), download = $('download');
const original = $('original'), result = $('result');
const statusLine = $('status'), errorLine = $('error');

const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
let workerReady = false;
let loading = false;
let busy = false;
let generation = 0;  // one per picture opened; late answers for an older one are dropped
let current = null;  // the result's pixels, null until an effect ran
let results = 0;     // one per result shown
let resultShown = false;
let png = null;      // { result, url } of the last PNG made
let baseName = 'picture';
let applied = '';    // the effects that made the result, for the PNG's name

const context = (canvas) => canvas.getContext('2d', { willReadFrequently: true });
const pixels = (canvas) => context(canvas).getImageData(0, 0, canvas.width, canvas.height);

function setState(state) { document.body.dataset.state = state; }
function showError(message) { errorLine.textContent = message; errorLine.hidden = !message; }
function refresh() {
  apply.disabled = !workerReady || loading || busy || original.width === 0;
  download.disabled = busy || current === null;
  threshold.disabled = effect.value !== 'two-color';
}
function dropPng() {
  if (png) URL.revokeObjectURL(png.url);
  png = null;
}

async function open(file) {
  if (!file) return;
  const mine = ++generation;
  loading = true; busy = false; current = null; resultShown = false; dropPng();
  showError(''); setState('loading'); refresh();
  statusLine.textContent = `Reading ${file.name}…`;
  let bitmap;
  try {
    bitmap = await createImageBitmap(file);
  } catch {
    if (mine !== generation) return;
    // Both sides, so that no canvas keeps the last picture's height as a blank area.
    for (const canvas of [original, result]) canvas.width = canvas.height = 0;
    loading = false; setState('error'); refresh();
    statusLine.textContent = '';
    showError(`${file.name} could not be read: it is not a picture this browser can decode.`);
    return;
  }
  if (mine !== generation) { bitmap.close(); return; }
  baseName = file.name.replace(/\.[^.]*$/, '') || 'picture';
  for (const canvas of [original, result]) {
    canvas.width = bitmap.width;
    canvas.height = bitmap.height;
  }
  context(original).drawImage(bitmap, 0, 0);
  bitmap.close();
  loading = false; setState('ready'); refresh();
  statusLine.textContent = `${file.name}: ${original.width} × ${original.height}. Choose an effect and apply it.`;
}

function start() {
  if (apply.disabled) return;
  const source = current ?? pixels(original);
  const option = effect.selectedOptions[0];
  busy = true; current = null;
  showError(''); setState('working'); refresh();
  statusLine.textContent = `${option.text}…`;
  const { width, height, data } = source;
  worker.postMessage({
    id: generation, effect: option.value, threshold: Number(threshold.value),
    width, height, buffer: data.buffer,
  }, [data.buffer]);
}

worker.onmessage = ({ data: answer }) => {
  if (answer.ready !== undefined) {
    workerReady = answer.ready;
    if (!answer.ready) showError(`The filters could not be loaded: ${answer.error}`);
    else $('library').textContent = `orvessa ${answer.version}, ${answer.path} path`;
    refresh();
    return;
  }
  if (answer.id !== generation) return;
  busy = false;
  if (answer.error) {
    // The result canvas still shows the last good result.
    current = resultShown ? pixels(result) : null;
    setState('error'); refresh();
    statusLine.textContent = '';
    showError(`The effect failed: ${answer.error}`);
    return;
  }
  current = new ImageData(new Uint8ClampedArray(answer.buffer), answer.width, answer.height);
  context(result).putImageData(current, 0, 0);
  applied = resultShown ? `${applied}-${answer.effect}` : answer.effect;
  results++; resultShown = true; dropPng();
  setState('done'); refresh();
  const label = effect.querySelector(`option[value="${answer.effect}"]`).text;
  statusLine.textContent = `${label}: ${answer.ms.toFixed(1)} ms in the worker, ${answer.path} path.`;
};
worker.onerror = (event) => {
  event.preventDefault();
  workerReady = false; busy = false;
  setState('error'); refresh();
  showError(`The filter worker stopped${event.message ? `: ${event.message}` : ''}.`);
};

$('controls').addEventListener('submit', (event) => { event.preventDefault(); start(); });
effect.addEventListener('change', refresh);
picture.addEventListener('change', () => {
  open(picture.files[0]);
  picture.value = '';  // so that choosing the same file again opens it again
});

download.addEventListener('click', async () => {
  const mine = results;
  try {
    if (png?.result !== mine) {
      const blob = await new Promise((resolve, reject) =>
        result.toBlob((b) => (b ? resolve(b) : reject(new Error('the canvas gave no PNG'))), 'image/png'));
      if (mine !== results) return;
      dropPng();
      png = { result: mine, url: URL.createObjectURL(blob) };
    }
    const link = document.createElement('a');
    link.href = png.url;
    link.download = `${baseName}-${applied}.png`;
    link.click();
  } catch (error) {
    showError(`The PNG could not be made: ${error.message}`);
  }
});

// Drag and drop anywhere on the page.
let dragDepth = 0;
const dragging = (on) => document.body.classList.toggle('dragging', on);
const hasFiles = (event) => event.dataTransfer?.types.includes('Files');
addEventListener('dragenter', (event) => { if (hasFiles(event)) { dragDepth++; dragging(true); } });
addEventListener('dragleave', () => { if (--dragDepth <= 0) { dragDepth = 0; dragging(false); } });
addEventListener('dragover', (event) => { if (hasFiles(event)) event.preventDefault(); });
addEventListener('drop', (event) => {
  if (!hasFiles(event)) return;
  event.preventDefault();
  dragDepth = 0; dragging(false);
  open(event.dataTransfer.files[0]);
});

setState('empty');
refresh();
