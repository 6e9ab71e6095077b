// The calculator for JavaScript: sessions of the evaluator library compiled
// to WebAssembly, driven through its C interface only. The same file serves
// Node (18 and later) and browsers, and the calculator's page uses it too.
//
//   import {Session} from 'calculator';
//   const session = await Session.create();
//   session.answer('set(r, 2)');            // 'Result is 2'
//   session.evaluate('pi*r^2');             // 12.566370614359172
//
// One WebAssembly instance per thread holds every session of that thread;
// it is made when this module is first imported.
import createCalculatorModule from './calculator.js';

// The C interface's statuses.
const OK = 0;
const ERROR = 1;
const INTERRUPTED = 2;
const BUSY = 4;
const INVALID_NAME = 5;
const NO_MEMORY = 6;
const INVALID_DIGITS = 7;
// Room for every number's text with its NUL (every answer line's room the
// library gives).
const NUMBER_TEXT_SIZE = 32;

const isNode = typeof process === 'object' && typeof process.versions === 'object' &&
    typeof process.versions.node === 'string';

// Node's own modules are imported only under Node; bundlers are told to
// leave them alone.
async function wasmBytes() {
  const url = new URL('./calculator.wasm', import.meta.url);
  if (isNode) {
    const {readFile} = await import(/* webpackIgnore: true */ 'node:fs/promises');
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) {
    throw new Error(`${url}: ${response.status} ${response.statusText}`);
  }
  return new Uint8Array(await response.arrayBuffer());
}

const wasm = await createCalculatorModule({wasmBinary: await wasmBytes()});
const ANSWER_SIZE = wasm._calculator_answer_size();
/**
 * The library's digit counts: `shortest` for the shortest form, 1 to `max`
 * significant digits otherwise, and `default` until a session is told.
 */
export const digitLimits = wasm.digitLimits;

// Scratch room in the module's memory, shared by this thread's sessions:
// they run one at a time.
const valuePointer = allocate(8);
const answerPointer = allocate(ANSWER_SIZE);
const numberPointer = allocate(NUMBER_TEXT_SIZE);
let textPointer = 0;
let textRoom = 0;

// The report lines of the answer being made; null discards them.
let reports = null;
const reportHandler = wasm.addFunction((context, line) => {
  if (reports !== null) {
    reports.push(wasm.UTF8ToString(line));
  }
}, 'vii');

const encoder = new TextEncoder();

function allocate(size) {
  const pointer = wasm._malloc(size);
  if (pointer === 0) {
    throw new Error('the calculator is out of memory');
  }
  return pointer;
}

function ensureTextRoom(size) {
  if (size > textRoom) {
    const room = Math.max(size, 256);
    const pointer = allocate(room);
    wasm._free(textPointer);
    textPointer = pointer;
    textRoom = room;
  }
}

// Copies a text, a string or UTF-8 bytes, into the module's memory with a
// NUL after it; returns where. ASCII goes byte by byte, which is quicker
// than the encoder for the short lines people type.
function writeText(text) {
  if (typeof text === 'string') {
    const length = text.length;
    ensureTextRoom(length * 3 + 1);
    const heap = wasm.HEAPU8;
    let index = 0;
    for (; index < length; ++index) {
      const code = text.charCodeAt(index);
      if (code >= 0x80) {
        break;
      }
      heap[textPointer + index] = code;
    }
    let end = textPointer + index;
    if (index < length) {
      const rest = heap.subarray(end, textPointer + length * 3);
      end += encoder.encodeInto(text.slice(index), rest).written;
    }
    heap[end] = 0;
    return textPointer;
  }
  if (text instanceof Uint8Array) {
    ensureTextRoom(text.length + 1);
    wasm.HEAPU8.set(text, textPointer);
    wasm.HEAPU8[textPointer + text.length] = 0;
    return textPointer;
  }
  throw new TypeError(`the text must be a string or a Uint8Array, not ${typeof text}`);
}

function checkName(name) {
  if (typeof name !== 'string') {
    throw new TypeError(`a variable's name must be a string, not ${typeof name}`);
  }
}

// The library's refusal of a count of digits, and the count refused.
function digitsError(digits) {
  const message = wasm.UTF8ToString(wasm._calculator_status_message(INVALID_DIGITS));
  return new RangeError(`${message} Not ${String(digits)}.`);
}

// Checked here too: a number the module's int cannot hold would wrap.
function checkDigits(digits) {
  if (!Number.isInteger(digits) ||
      (digits !== digitLimits.shortest && (digits < 1 || digits > digitLimits.max))) {
    throw digitsError(digits);
  }
}

/** An evaluation error: the message is the text the console prints after "Error : ". */
export class CalculatorError extends Error {
  constructor(message) {
    super(message);
    this.name = 'CalculatorError';
  }
}

function abortError() { return new DOMException('This operation was aborted', 'AbortError'); }

// The error for a status other than OK from a call on `pointer`'s session.
function failure(pointer, status) {
  switch (status) {
    case ERROR:
      return new CalculatorError(wasm.UTF8ToString(wasm._calculator_error_message(pointer)));
    case INTERRUPTED:
      return abortError();
    case BUSY:
      return new Error('the session is busy with another evaluation');
    case NO_MEMORY:
      return new Error('the calculator is out of memory');
    default:
      return new Error(`the calculator failed with status ${status}`);
  }
}

/**
 * `value` as the console writes it: `digits` significant digits (see
 * `digitLimits`), or `digitLimits.shortest` for the shortest text that reads
 * back as the same number.
 */
export function formatNumber(value, digits = digitLimits.default) {
  if (typeof value !== 'number') {
    throw new TypeError(`formatNumber needs a number, not ${typeof value}`);
  }
  checkDigits(digits);
  wasm._calculator_format_number_digits(value, digits, numberPointer, NUMBER_TEXT_SIZE);
  return wasm.UTF8ToString(numberPointer);
}

/** The library's version, "MAJOR.MINOR.PATCH". */
export const version = wasm.UTF8ToString(wasm._calculator_version());
/** The line a console writes once, before the first answer. */
export const prompt = wasm.UTF8ToString(wasm._calculator_prompt());
/** The line a console writes in place of an interrupted evaluation's answer. */
export const interruptedLine = wasm.UTF8ToString(wasm._calculator_interrupted_line());

// The library's built-in names, read until its list ends.
function namesFrom(nameAt) {
  const names = [];
  for (let pointer = nameAt(0); pointer !== 0; pointer = nameAt(names.length)) {
    names.push(wasm.UTF8ToString(pointer));
  }
  return names;
}

/** The built-in names, in the order they are looked up: {constants, functions}. */
export function builtinNames() {
  return {
    constants: namesFrom(wasm._calculator_constant_name),
    functions: namesFrom(wasm._calculator_function_name),
  };
}

// Frees the library's session of a Session that was dropped unclosed, and
// ends its worker.
const unclosed = new FinalizationRegistry(({pointer, thread}) => {
  thread?.end();
  wasm._calculator_free(pointer);
});
const creating = Symbol('creating');

/**
 * One calculator session: its variables live from one evaluation to the
 * next, as at the console. Made with `await Session.create()`.
 */
export class Session {
  #pointer = 0;
  #digits = digitLimits.default;
  #running = false;                       // an evaluateAsync is under way
  #thread = null;                         // the worker of evaluateAsync, kept between calls
  #dropped = {pointer: 0, thread: null};  // what to release if it is never closed

  constructor(key) {
    if (key !== creating) {
      throw new TypeError('make a session with `await Session.create()`');
    }
    this.#pointer = wasm._calculator_new();
    if (this.#pointer === 0) {
      throw new Error('the calculator is out of memory');
    }
    this.#dropped.pointer = this.#pointer;
    unclosed.register(this, this.#dropped, this);
    wasm._calculator_set_report_handler(this.#pointer, reportHandler, 0);
  }

  /**
   * A new session. Options: `digits` (default `digitLimits.default`), and `snapshot`, the
   * variables and digits of another session's `snapshot()`.
   */
  static async create({digits, snapshot} = {}) {
    const session = new Session(creating);
    try {
      if (snapshot !== undefined) {
        session.#restore(snapshot);
      }
      if (digits !== undefined) {
        session.digits = digits;
      }
    } catch (error) {
      session.close();
      throw error;
    }
    return session;
  }

  // The session's pointer, when a call may use it now.
  #open() {
    if (this.#pointer === 0) {
      throw new Error('the session is closed');
    }
    return this.#pointer;
  }

  #idle() {
    if (this.#running) {
      throw new Error('the session is busy with another evaluation');
    }
    return this.#open();
  }

  /** The value of the expression at the start of `text`; a CalculatorError when it has none. */
  evaluate(text) {
    const pointer = this.#idle();
    const status = wasm._calculator_evaluate(pointer, writeText(text), valuePointer);
    if (status !== OK) {
      throw failure(pointer, status);
    }
    return wasm.HEAPF64[valuePointer >> 3];
  }

  /**
   * The lines the console prints for `text`, joined by "\n": the report
   * lines of failed nested evaluations, then "Result is ..." or "Error : ...".
   */
  answer(text) {
    const pointer = this.#idle();
    const textAt = writeText(text);
    reports = [];
    let length;
    let lines;
    try {
      length = wasm._calculator_answer(pointer, textAt, answerPointer, ANSWER_SIZE);
    } finally {
      lines = reports;
      reports = null;
    }
    if (length < 0) {
      throw failure(pointer, -length);
    }
    lines.push(wasm.UTF8ToString(answerPointer));
    return lines.join('\n');
  }

  /** Assigns a variable as a top-level `set` does. */
  set(name, value) {
    const pointer = this.#idle();
    checkName(name);
    if (typeof value !== 'number') {
      throw new TypeError(`a variable's value must be a number, not ${typeof value}`);
    }
    const status = wasm._calculator_set_variable(pointer, writeText(name), value);
    if (status === INVALID_NAME) {
      throw new RangeError(`not a variable name: ${JSON.stringify(name)}`);
    }
    if (status === ERROR) {
      throw new CalculatorError(wasm.UTF8ToString(wasm._calculator_error_message(pointer)));
    }
    if (status !== OK) {
      throw failure(pointer, status);
    }
  }

  /** The variable's value; undefined when the session has no such variable. */
  get(name) {
    const pointer = this.#open();
    checkName(name);
    const status = wasm._calculator_get_variable(pointer, writeText(name), valuePointer);
    return status === OK ? wasm.HEAPF64[valuePointer >> 3] : undefined;
  }

  has(name) { return this.get(name) !== undefined; }

  /** The variables in the order they were first assigned. */
  variables() {
    const {names, values} = this.snapshot();
    return new Map(names.map((name, index) => [name, values[index]]));
  }

  /** Significant digits in answer lines, as `digitLimits` allows. */
  get digits() { return this.#digits; }

  set digits(digits) {
    const pointer = this.#idle();
    checkDigits(digits);
    const status = wasm._calculator_set_digits(pointer, digits);
    if (status !== OK) {
      throw status === INVALID_DIGITS ? digitsError(digits) :
                                        failure(pointer, status);
    }
    this.#digits = digits;
  }

  /**
   * The digits and variables, for Session.create({snapshot}) here or in
   * another thread (postMessage copies it): every value keeps its exact
   * bits, a NaN's sign too.
   */
  snapshot() {
    const pointer = this.#open();
    const count = wasm._calculator_variable_count(pointer);
    const names = [];
    const values = new Float64Array(count);
    const bytes = new Uint8Array(values.buffer);
    for (let index = 0; index < count; ++index) {
      const namePointer = wasm._calculator_variable_name(pointer, index);
      wasm._calculator_get_variable(pointer, namePointer, valuePointer);
      bytes.set(wasm.HEAPU8.subarray(valuePointer, valuePointer + 8), index * 8);
      names.push(wasm.UTF8ToString(namePointer));
    }
    return {digits: this.#digits, names, values};
  }

  #restore({digits, names, values}) {
    const pointer = this.#idle();
    const bytes = new Uint8Array(values.buffer, values.byteOffset, values.byteLength);
    names.forEach((name, index) => {
      wasm.HEAPU8.set(bytes.subarray(index * 8, index * 8 + 8), valuePointer);
      const status =
          wasm._calculator_set_variable(pointer, writeText(name), wasm.HEAPF64[valuePointer >> 3]);
      if (status !== OK) {
        throw failure(pointer, status);
      }
    });
    this.digits = digits;
  }

  /**
   * evaluate() in a worker, so that a long evaluation blocks nothing: the
   * promise rejects with the signal's reason when `signal` aborts, and the
   * session keeps the variables it had before the call. Until it settles,
   * the calls that would change the session throw.
   */
  async evaluateAsync(text, {signal} = {}) {
    const snapshot = this.snapshot();
    this.#idle();
    if (typeof text !== 'string' && !(text instanceof Uint8Array)) {
      throw new TypeError(`the text must be a string or a Uint8Array, not ${typeof text}`);
    }
    if (signal?.aborted) {
      throw signal.reason ?? abortError();
    }
    this.#running = true;
    try {
      const reply = await this.#inThread({text, snapshot}, signal);
      this.#running = false;
      this.#restore(reply.snapshot);
      if (reply.error !== undefined) {
        throw reply.error.calculator ? new CalculatorError(reply.error.message) :
                                       new Error(reply.error.message);
      }
      return reply.value[0];
    } finally {
      this.#running = false;
    }
  }

  async #inThread(message, signal) {
    this.#thread ??= await startThread();
    const thread = this.#thread;
    if (this.#pointer === 0) {  // closed while the thread started
      this.#endThread(thread);
      throw new Error('the session was closed');
    }
    this.#dropped.thread = thread;
    return new Promise((resolve, reject) => {
      const onAbort = () => {
        this.#endThread(thread);
        settle(() => reject(signal.reason ?? abortError()));
      };
      const settle = (action) => {
        signal?.removeEventListener('abort', onAbort);
        thread.idle();
        action();
      };
      thread.onReply = (reply) => settle(() => resolve(reply));
      thread.onFailure = (error) => {
        this.#endThread(thread);
        settle(() => reject(error));
      };
      if (signal?.aborted) {
        onAbort();  // while the thread started
        return;
      }
      signal?.addEventListener('abort', onAbort, {once: true});
      thread.busy();
      thread.post(message);
    });
  }

  #endThread(thread) {
    if (this.#thread === thread) {
      this.#thread = null;
      this.#dropped.thread = null;
    }
    thread.end();
  }

  /** Releases the session; later calls throw. A running evaluateAsync rejects. */
  close() {
    if (this.#thread !== null) {
      const thread = this.#thread;
      const onFailure = thread.onFailure;
      this.#endThread(thread);
      onFailure?.(new Error('the session was closed'));
    }
    if (this.#pointer !== 0) {
      unclosed.unregister(this);
      wasm._calculator_free(this.#pointer);
      this.#pointer = 0;
    }
  }
}

// The options Node was started with, less those that say how to read the
// main script (node --input-type=module -e ...), which a worker refuses.
function workerNodeOptions() {
  const kept = [];
  const options = process.execArgv;
  for (let index = 0; index < options.length; ++index) {
    if (['-e', '--eval', '-p', '--print'].includes(options[index])) {
      ++index;  // and the script
    } else if (!/^--(input-type|eval|print)=/.test(options[index])) {
      kept.push(options[index]);
    }
  }
  return kept;
}

// A worker that answers evaluateAsync's messages (thread.js): worker_threads
// in Node, a module Worker in browsers. A Node worker that waits keeps no
// process alive.
async function startThread() {
  const url = new URL('./thread.js', import.meta.url);
  const thread = {onReply: null, onFailure: null};
  const failed = (error) => {
    const onFailure = thread.onFailure;
    thread.onFailure = null;
    onFailure?.(error);
  };
  if (isNode) {
    const {Worker} = await import(/* webpackIgnore: true */ 'node:worker_threads');
    const worker = new Worker(url, {execArgv: workerNodeOptions()});
    worker.on('message', (reply) => thread.onReply?.(reply));
    worker.on('error', failed);
    worker.on('exit', (code) => failed(new Error(`the evaluating thread ended (status ${code})`)));
    Object.assign(thread, {
      post: (message) => worker.postMessage(message),
      busy: () => worker.ref(),
      idle: () => worker.unref(),
      end: () => {
        thread.onFailure = null;
        worker.terminate();
      },
    });
  } else {
    const worker = new Worker(url, {type: 'module'});
    worker.onmessage = (event) => thread.onReply?.(event.data);
    worker.onerror = (event) => {
      event.preventDefault();
      failed(new Error(`the evaluating thread failed: ${event.message || 'unknown error'}`));
    };
    Object.assign(thread, {
      post: (message) => worker.postMessage(message),
      busy: () => {},
      idle: () => {},
      end: () => {
        thread.onFailure = null;
        worker.terminate();
      },
    });
  }
  thread.idle();
  return thread;
}
