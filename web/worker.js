// The evaluator's thread: one calculator session in the WebAssembly module.
// A long evaluation blocks only this worker; the page stops it by ending
// the worker and handing the variables to a new one. The page sends lines
// ahead; they are answered in order, one message each, each with the digits
// it was entered with.
//
// Messages in:  {type: 'start', variables}  then  {type: 'line', id, text, digits}
// Messages out: {type: 'ready', version, variables, names: {constants, functions},
//                fixedLines: {prompt, interrupted}}
//               {type: 'answer', id, lines, variables}
//               {type: 'failed', message}
'use strict';

importScripts('calculator.js', 'session.js');

let session = null;
let digits = 6;  // the library's default
const pending = [];

function answerLine(message) {
  if (message.digits !== digits && session.setDigits(message.digits)) {
    digits = message.digits;
  }
  const lines = session.answer(message.text);
  postMessage({type: 'answer', id: message.id, lines, variables: session.variables()});
}

async function start(variables) {
  const response = await fetch('calculator.wasm');
  if (!response.ok) {
    throw new Error(`calculator.wasm: ${response.status} ${response.statusText}`);
  }
  const wasmBinary = new Uint8Array(await response.arrayBuffer());
  const module = await createCalculatorModule({wasmBinary}).ready;
  session = openCalculatorSession(module);
  session.restoreVariables(variables);
  postMessage({
    type: 'ready',
    version: session.version(),
    variables: session.variables(),
    names: session.builtinNames(),
    fixedLines: session.fixedLines(),
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
