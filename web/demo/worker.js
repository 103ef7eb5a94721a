// Runs the effects off the page's thread. A job brings the pixels' buffer
// (transferred) and gets it back, filtered, with the time the call took.
const library = import('./orvessa/orvessa.js').then(async (orvessa) => {
  await orvessa.ready;
  return orvessa;
});

library.then(
  ({ path, version }) => postMessage({ ready: true, path, version }),
  (error) => postMessage({ ready: false, error: String(error?.message ?? error) }),
);

onmessage = async ({ data: job }) => {
  const { id, effect, threshold, width, height, buffer } = job;
  const answer = { id, effect, width, height, buffer };
  try {
    const orvessa = await library;
    const image = new ImageData(new Uint8ClampedArray(buffer), width, height);
    const start = performance.now();
    if (effect === 'blur') orvessa.blur(image);
    else if (effect === 'smooth') orvessa.smooth(image);
    else if (effect === 'gray') orvessa.gray(image);
    else if (effect === 'two-color') orvessa.gray(image, { twoColor: true, threshold });
    else throw new Error(`no effect called ${effect}`);
    answer.ms = performance.now() - start;
    answer.path = orvessa.path;
  } catch (error) {
    answer.error = error instanceof Error ? error.message : String(error);
  }
  postMessage(answer, [buffer]);
};
