// The worker behind Session.evaluateAsync: each message is one evaluation
// in a new session made from the caller's snapshot; the reply carries the
// value (its exact bits) or the error, and the variables afterwards.
//
// In:  {text, snapshot}
// Out: {value: Float64Array(1), snapshot} or {error: {message, calculator}, snapshot}

// Loaded after the message handler is in place: a browser delivers the
// messages that arrive while a module worker still loads to nobody.
const calculator = import('./session.js');

async function evaluate({text, snapshot}) {
  const {CalculatorError, Session} = await calculator;
  const session = await Session.create({snapshot});
  try {
    const value = new Float64Array(1);
    try {
      value[0] = session.evaluate(text);
      return {value, snapshot: session.snapshot()};
    } catch (error) {
      const calculator = error instanceof CalculatorError;
      return {error: {message: error.message, calculator}, snapshot: session.snapshot()};
    }
  } finally {
    session.close();
  }
}

// Any other failure (the module did not load, say) is a reply too: the
// caller would otherwise wait for ever.
async function reply(message) {
  try {
    return await evaluate(message);
  } catch (error) {
    return {
      error: {message: String(error?.message ?? error), calculator: false},
      snapshot: message.snapshot
    };
  }
}

if (typeof process === 'object' && typeof process.versions?.node === 'string') {
  const {parentPort} = await import(/* webpackIgnore: true */ 'node:worker_threads');
  parentPort.on('message', async (message) => parentPort.postMessage(await reply(message)));
} else {
  self.onmessage = async (event) => self.postMessage(await reply(event.data));
}
