// The evaluator's thread: one calculator session (the npm package's
// session.js). A long evaluation blocks only this worker; the page stops it
// by ending the worker and handing the variables to a new one. The page
// sends lines ahead; they are answered in order, one message each, each
// with the digits it was entered with.
//
// Messages in:  {type: 'start', variables}  then  {type: 'line', id, text, digits}
// Messages out: {type: 'ready', version, variables, names: {constants, functions},
//                fixedLines: {prompt, interrupted}, digitLimits: {shortest, max, default}}
//               {type: 'answer', id, lines, variables}
//               {type: 'failed', message}
// variables: [{name, bytes}] in the order first assigned, each value as its
// eight bytes, so that a NaN keeps its sign on the way to another worker.

let session = null;
const pending = [];

function variablesOf(session) {
  const {names, values} = session.snapshot();
  const bytes = new Uint8Array(values.buffer);
  return names.map((name, index) => ({name, bytes: bytes.slice(index * 8, index * 8 + 8)}));
}

function snapshotOf(variables, digits) {
  const values = new Float64Array(variables.length);
  const bytes = new Uint8Array(values.buffer);
  variables.forEach((variable, index) => bytes.set(variable.bytes, index * 8));
  return {digits, names: variables.map((variable) => variable.name), values};
}

function answerLine(message) {
  if (message.digits !== session.digits) {
    session.digits = message.digits;
  }
  const lines = session.answer(message.text).split('\n');
  postMessage({type: 'answer', id: message.id, lines, variables: variablesOf(session)});
}

async function start(variables) {
  // Imported here, so that a failure to load reaches the page as a message.
  const calculator = await import('./session.js');
  const {digitLimits} = calculator;
  session = await calculator.Session.create({snapshot: snapshotOf(variables, digitLimits.default)});
  postMessage({
    type: 'ready',
    version: calculator.version,
    variables: variablesOf(session),
    names: calculator.builtinNames(),
    fixedLines: {prompt: calculator.prompt, interrupted: calculator.interruptedLine},
    digitLimits,
  });
  while (pending.length > 0) {
    answerLine(pending.shift());
  }
}

onmessage = (event) => {
  const message = event.data;
  if (message.type === 'start') {
    start(message.variables).catch((error) => {
      postMessage({type: 'failed', message: String(error && error.message || error)});
    });
  } else if (message.type === 'line') {
    if (session === null) {
      pending.push(message);
    } else {
      answerLine(message);
    }
  }
};
