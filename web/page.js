// The console in a page: a transcript of typed lines and the calculator's
// answers, an input line, and a worker that evaluates.
'use strict';

const PROMPT = 'Please input expression.';
const INTERRUPTED = 'Error : Interrupted.';
const HISTORY_KEY = 'calculator.history';
const HISTORY_LIMIT = 1000;
const SHARE_PREFIX = '#lines=';
const CONSTANTS = ['pi', 'e'];
const FUNCTIONS = [
  'sin', 'cos', 'tan', 'log', 'log10', 'abs', 'sqrt', 'rad2deg', 'deg2rad', 'set', 'integral',
  'sigma'
];

const transcript = document.getElementById('transcript');
const input = document.getElementById('line');
const stopButton = document.getElementById('stop');
const statusLine = document.getElementById('status');
const shareField = document.getElementById('share-link');

const state = {
  worker: null,
  ready: false,
  variables: [],  // {name, bytes} in the order first assigned
  queue: [],      // lines waiting for the worker
  running: null,  // the line being evaluated: {id, text}
  nextId: 1,
  lines: [],  // every line of the session, for the share link
  transcriptText: [],
  firstAnswerMarked: false,
};

// ---- transcript

function appendLine(text, kind) {
  const line = document.createElement('div');
  line.className = kind;
  line.textContent = text;
  transcript.appendChild(line);
  state.transcriptText.push(text);
  line.scrollIntoView({block: 'nearest'});
}

function say(text) { statusLine.textContent = text; }

// ---- the worker

function startWorker() {
  state.ready = false;
  const worker = new Worker('worker.js');
  worker.onmessage = (event) => receive(worker, event.data);
  worker.onerror = (event) => {
    event.preventDefault();
    if (worker !== state.worker) {
      return;
    }
    const reason = event.message || 'unknown error';
    if (state.running === null) {
      say(`The calculator could not start: ${reason}`);
      return;
    }
    // The line that broke it is dropped; the session goes on without it.
    say(`The calculator failed (${reason}) and was restarted.`);
    restartWorker();
  };
  worker.postMessage({type: 'start', variables: state.variables});
  state.worker = worker;
}

function receive(worker, message) {
  if (worker !== state.worker) {
    return;  // an ended worker's late message
  }
  if (message.type === 'ready') {
    state.ready = true;
    state.variables = message.variables;
    pump();
  } else if (message.type === 'answer') {
    if (state.running === null || state.running.id !== message.id) {
      return;
    }
    state.running = null;
    state.variables = message.variables;
    for (const line of message.lines) {
      appendLine(line, 'answer');
    }
    if (!state.firstAnswerMarked) {
      state.firstAnswerMarked = true;
      performance.mark('first-answer');
    }
    pump();
  } else if (message.type === 'failed') {
    say(`The calculator could not start: ${message.message}`);
  }
}

function pump() {
  if (state.ready && state.running === null && state.queue.length > 0) {
    state.running = state.queue.shift();
    appendLine(state.running.text, 'typed');
    state.worker.postMessage({type: 'line', id: state.running.id, text: state.running.text});
  }
  stopButton.disabled = state.running === null;
}

// Ends the evaluation that runs now; the variables of the last answered
// line go to a new worker, so the session goes on as before the line.
function stop() {
  if (state.running === null) {
    return;
  }
  appendLine(INTERRUPTED, 'answer');
  restartWorker();
}

function restartWorker() {
  state.worker.terminate();
  state.running = null;
  startWorker();
  pump();
}

// A line shows in the transcript when its evaluation starts, so that each
// answer comes right below its line even when lines wait in the queue.
function submit(text) {
  state.lines.push(text);
  state.queue.push({id: state.nextId++, text});
  pump();
}

// ---- history: the newest lines, kept in the browser

function loadHistory() {
  try {
    const stored = JSON.parse(localStorage.getItem(HISTORY_KEY) || '[]');
    return Array.isArray(stored) ? stored.filter((line) => typeof line === 'string') : [];
  } catch (error) {
    return [];
  }
}

const history = {
  lines: loadHistory(),
  position: 0,
  draft: ''
};
history.position = history.lines.length;

// Blank lines and repeats of the line before are not kept, as at the
// terminal.
function remember(text) {
  if (text.trim() === '' || history.lines[history.lines.length - 1] === text) {
    history.position = history.lines.length;
    return;
  }
  history.lines.push(text);
  if (history.lines.length > HISTORY_LIMIT) {
    history.lines.splice(0, history.lines.length - HISTORY_LIMIT);
  }
  history.position = history.lines.length;
  try {
    localStorage.setItem(HISTORY_KEY, JSON.stringify(history.lines));
  } catch (error) {
    say(`History not saved: ${error.message}`);
  }
}

function recall(step) {
  const target = history.position + step;
  if (target < 0 || target > history.lines.length) {
    return;
  }
  if (history.position === history.lines.length) {
    history.draft = input.value;
  }
  history.position = target;
  input.value = target === history.lines.length ? history.draft : history.lines[target];
  input.setSelectionRange(input.value.length, input.value.length);
}

// ---- Tab completion of names

function isLetter(c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

function isNameCharacter(c) { return isLetter(c) || (c >= '0' && c <= '9'); }

function isTypableName(name) {
  return name.length > 0 && isLetter(name[0]) && [...name].every(isNameCharacter);
}

function commonPrefix(names) {
  let prefix = names[0];
  for (const name of names) {
    while (!name.startsWith(prefix)) {
      prefix = prefix.slice(0, -1);
    }
  }
  return prefix;
}

// Completes the name before the cursor; returns false when there is no
// name to complete, so that Tab moves the focus as usual.
function complete() {
  const cursor = input.selectionStart;
  const before = input.value.slice(0, cursor);
  let start = cursor;
  while (start > 0 && isNameCharacter(before[start - 1])) {
    --start;
  }
  const prefix = before.slice(start);
  if (prefix === '' || !isLetter(prefix[0])) {
    return false;
  }
  const variables = state.variables.map((variable) => variable.name).filter(isTypableName);
  const matches = [...new Set([...CONSTANTS, ...variables, ...FUNCTIONS])]
                      .filter((name) => name.startsWith(prefix))
                      .sort();
  if (matches.length === 0) {
    say(`No name starts with ${prefix}`);
    return true;
  }
  let insertion = commonPrefix(matches).slice(prefix.length);
  if (matches.length === 1) {
    const only = matches[0];
    const opensCall = !CONSTANTS.includes(only) && !variables.includes(only);
    insertion += opensCall ? '(' : '';
    say('');
  } else {
    say(`Names: ${matches.join(' ')}`);
  }
  input.setRangeText(insertion, cursor, cursor, 'end');
  return true;
}

// ---- share and copy

function shareLink() {
  const url = new URL(window.location.href);
  url.hash = SHARE_PREFIX + encodeURIComponent(state.lines.join('\n'));
  return url.href;
}

function sharedLines() {
  const hash = window.location.hash;
  if (!hash.startsWith(SHARE_PREFIX) || hash.length === SHARE_PREFIX.length) {
    return [];
  }
  try {
    return decodeURIComponent(hash.slice(SHARE_PREFIX.length)).split('\n');
  } catch (error) {
    say('The shared link is damaged: its lines are not replayed.');
    return [];
  }
}

async function copyText(text, done) {
  try {
    await navigator.clipboard.writeText(text);
    say(done);
  } catch (error) {
    say(`Copying failed: ${error.message}`);
  }
}

// ---- keys

function onInputKey(event) {
  if (event.key === 'ArrowUp') {
    event.preventDefault();
    recall(-1);
  } else if (event.key === 'ArrowDown') {
    event.preventDefault();
    recall(1);
  } else if (event.key === 'Tab' && !event.shiftKey && !event.altKey && !event.ctrlKey) {
    if (complete()) {
      event.preventDefault();
    }
  }
}

// Ctrl-C stops an evaluation, or else drops the line being typed; with
// text selected it copies, as everywhere.
function onDocumentKey(event) {
  const ctrlC =
      event.ctrlKey && !event.altKey && !event.metaKey && (event.key === 'c' || event.key === 'C');
  if (!ctrlC || String(window.getSelection()) !== '' ||
      input.selectionStart !== input.selectionEnd) {
    return;
  }
  event.preventDefault();
  if (state.running !== null) {
    stop();
  } else if (document.activeElement === input) {
    input.value = '';
    history.position = history.lines.length;
  }
}

function onSubmit(event) {
  event.preventDefault();
  const text = input.value;
  input.value = '';
  remember(text);
  submit(text);
}

// ---- start

function registerOfflineCache() {
  if ('serviceWorker' in navigator && window.isSecureContext) {
    navigator.serviceWorker.register('offline.js').catch((error) => {
      say(`Offline use is not available: ${error.message}`);
    });
  }
}

function main() {
  appendLine(PROMPT, 'prompt');
  document.getElementById('entry').addEventListener('submit', onSubmit);
  input.addEventListener('keydown', onInputKey);
  document.addEventListener('keydown', onDocumentKey);
  stopButton.addEventListener('click', () => {
    stop();
    input.focus();
  });
  document.getElementById('copy').addEventListener('click', () => {
    copyText(state.transcriptText.join('\n') + '\n', 'Transcript copied.');
  });
  document.getElementById('share').addEventListener('click', () => {
    shareField.value = shareLink();
    shareField.hidden = false;
    copyText(shareField.value, 'Link copied.');
  });
  startWorker();
  for (const line of sharedLines()) {
    submit(line);
  }
  registerOfflineCache();
  input.focus();
}

main();
