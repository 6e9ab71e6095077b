// The console in a page: a transcript of typed lines and the calculator's
// answers, an input line, and a worker that evaluates. Lines are answered in
// order, each as if typed at the console; lines behind a running one wait in
// view below the transcript.
'use strict';

const HISTORY_KEY = 'calculator.history';
const HISTORY_LIMIT = 1000;
const DIGITS_KEY = 'calculator.digits';
const DEFAULT_DIGITS = 6;  // the console's; 0 asks for the shortest form
const LINE_BREAK = /\r\n|\r|\n/;
const WAITING_SHOWN = 20;  // waiting lines listed; the others are counted
const OFFERED_SHOWN = 5;   // a link's first lines, shown before it runs

const element = (id) => document.getElementById(id);
const scroller = element('screen');
const transcript = element('transcript');
const waitingList = element('waiting');
const input = element('line');
const stopButton = element('stop');
const stopAllButton = element('stop-all');
const statusLine = element('status');
const shareField = element('share-link');
const offer = element('offer');
const digitsChoice = element('digits');

const state = {
  worker: null,
  ready: false,
  variables: [],                          // {name, bytes} in the order first assigned
  names: {constants: [], functions: []},  // the library's built-ins, from the worker
  fixedLines: null,  // the library's prompt and interrupted line, from the first worker
  digits: DEFAULT_DIGITS,  // for the lines entered from now on
  sent: [],    // lines the worker has, oldest first; the first one runs
  queue: [],   // lines for a worker that is still starting
  nextId: 1,
  lines: [],   // every line of the session, for the share link
  transcriptText: [],
  offered: null,    // a link's {lines, digits}, until the user runs or dismisses them
  followEnd: true,  // false while the user reads further up the transcript
  renderPending: false,
  firstAnswerMarked: false,
};

// ---- transcript

// Characters that would hide text or reorder it (NUL, bidi overrides, line
// separators, ...) show as marks: a control picture, or their code point.
const INVISIBLE = /(?!\t)[\p{Cc}\p{Cf}\p{Cs}\p{Zl}\p{Zp}]/gu;

function markFor(character) {
  const code = character.codePointAt(0);
  const mark = document.createElement('span');
  mark.className = 'control';
  mark.textContent = code < 0x20 ? String.fromCodePoint(0x2400 + code) :
      code === 0x7f              ? '\u2421' :
                                   `U+${code.toString(16).toUpperCase().padStart(4, '0')}`;
  return mark;
}

function showText(target, text) {
  let shownUpTo = 0;
  for (const match of text.matchAll(INVISIBLE)) {
    target.append(text.slice(shownUpTo, match.index), markFor(match[0]));
    shownUpTo = match.index + match[0].length;
  }
  target.append(text.slice(shownUpTo));
  return target;
}

function lineElement(text, kind) {
  const line = document.createElement('div');
  line.className = kind;
  return showText(line, text);
}

function appendLine(text, kind) {
  transcript.append(lineElement(text, kind));
  state.transcriptText.push(text);
  scheduleRender();
}

// The prompt heads the transcript, above any line entered before the
// library was ready to give it.
function showPrompt() {
  const prompt = state.fixedLines.prompt;
  transcript.prepend(lineElement(prompt, 'prompt'));
  state.transcriptText.unshift(prompt);
  scheduleRender();
}

// Something the page says about the session, not the calculator's output.
function note(text) {
  transcript.append(lineElement(text, 'note'));
  scheduleRender();
}

function say(text) { statusLine.textContent = text; }

// "1 line", "2,000 lines", "3 more lines"...
function countOf(count, adjective = '') {
  return `${count.toLocaleString('en')} ${adjective}${count === 1 ? 'line' : 'lines'}`;
}

// The waiting lines and the scroll position are brought up to date once per
// frame, however many lines were answered in it.
function scheduleRender() {
  if (!state.renderPending) {
    state.renderPending = true;
    requestAnimationFrame(render);
  }
}

function render() {
  state.renderPending = false;
  const waiting = waitingLines();
  const shown = waiting.slice(0, WAITING_SHOWN).map((line) => lineElement(line.text, 'waiting'));
  if (waiting.length > WAITING_SHOWN) {
    const more = countOf(waiting.length - WAITING_SHOWN, 'more ');
    shown.push(lineElement(`and ${more} waiting`, 'note'));
  }
  waitingList.replaceChildren(...shown);
  if (state.followEnd) {
    scroller.scrollTop = scroller.scrollHeight;
  }
}

// Ctrl-L: a clean screen; the line that runs stays, to take its answer.
function clearTranscript() {
  transcript.replaceChildren();
  state.transcriptText = [];
  if (state.sent.length > 0) {
    appendLine(state.sent[0].text, 'typed');
  }
  state.followEnd = true;
  scheduleRender();
}

// ---- the worker

function startWorker() {
  state.ready = false;
  const worker = new Worker('worker.js', {type: 'module'});
  worker.onmessage = (event) => receive(worker, event.data);
  worker.onerror = (event) => {
    event.preventDefault();
    if (worker !== state.worker) {
      return;
    }
    const reason = event.message || 'unknown error';
    if (state.sent.length === 0) {
      say(`The calculator could not start: ${reason}`);
      return;
    }
    // The line that broke it is dropped; the session goes on without it.
    note(`The calculator failed (${reason}) and was restarted.`);
    state.queue = state.sent.slice(1).concat(state.queue);
    state.sent = [];
    restartWorker();
  };
  worker.postMessage({type: 'start', variables: state.variables});
  state.worker = worker;
}

function restartWorker() {
  state.worker.terminate();
  startWorker();
  lineEnded();
}

function receive(worker, message) {
  if (worker !== state.worker) {
    return;  // an ended worker's late message
  }
  if (message.type === 'ready') {
    state.ready = true;
    state.variables = message.variables;
    state.names = message.names;
    if (state.fixedLines === null) {
      state.fixedLines = message.fixedLines;
      showPrompt();
    }
    sendQueued();
  } else if (message.type === 'answer') {
    answered(message);
  } else if (message.type === 'failed') {
    say(`The calculator could not start: ${message.message}`);
  }
}

function answered(message) {
  if (state.sent.length === 0 || state.sent[0].id !== message.id) {
    return;
  }
  state.sent.shift();
  state.variables = message.variables;
  for (const line of message.lines) {
    appendLine(line, 'answer');
  }
  if (!state.firstAnswerMarked) {
    state.firstAnswerMarked = true;
    performance.mark('first-answer');
  }
  lineEnded();
}

// The worker gets every line at once and answers them in order.
function sendQueued() {
  if (state.ready) {
    for (const line of state.queue) {
      state.worker.postMessage({type: 'line', id: line.id, text: line.text, digits: line.digits});
      state.sent.push(line);
    }
    state.queue = [];
  }
  lineEnded();
}

// The next line shows in the transcript when it starts, right below the
// answer of the line before.
function lineEnded() {
  const running = state.sent[0];
  if (running !== undefined && !running.shown) {
    running.shown = true;
    appendLine(running.text, 'typed');
  }
  const focused = document.activeElement;
  stopButton.disabled = state.sent.length === 0;
  stopAllButton.disabled = state.sent.length + state.queue.length === 0;
  if (focused !== null && focused.disabled) {
    input.focus();  // a Stop button that has nothing left to stop
  }
  scheduleRender();
}

function waitingLines() { return state.sent.slice(1).concat(state.queue); }

function submit(text) {
  state.lines.push(text);
  state.queue.push({id: state.nextId++, text, digits: state.digits, shown: false});
  sendQueued();
}

// Ends the line that runs now: the variables of the last answered line go
// to a new worker, which then takes the waiting lines.
function stop() {
  if (state.sent.length === 0) {
    return;
  }
  state.queue = state.sent.slice(1).concat(state.queue);
  state.sent = [];
  appendLine(state.fixedLines.interrupted, 'answer');
  restartWorker();
}

// Ends the running line and drops the waiting ones, which then leave the
// session's lines too.
function stopAll() {
  const dropped = waitingLines().length;
  stop();
  state.queue = [];
  if (dropped > 0) {
    state.lines.splice(state.lines.length - dropped);
    note(`${countOf(dropped, 'waiting ')} dropped.`);
  }
  lineEnded();
}

// ---- history: the newest lines, kept in the browser and shared by its tabs

function storedHistory() {
  try {
    const stored = JSON.parse(localStorage.getItem(HISTORY_KEY) || '[]');
    return Array.isArray(stored) ? stored.filter((line) => typeof line === 'string') : [];
  } catch (error) {
    return null;
  }
}

const lineHistory = {lines: storedHistory() || [], position: 0, draft: ''};
lineHistory.position = lineHistory.lines.length;

// Takes the list another tab saved; a recall in progress keeps its place.
function adoptHistory(lines) {
  const atEnd = lineHistory.position === lineHistory.lines.length;
  lineHistory.lines = lines;
  lineHistory.position = atEnd ? lines.length : Math.min(lineHistory.position, lines.length);
}

// Blank lines and repeats of the line before are not kept, as at the
// terminal. The lines join the list as stored now, so that the lines other
// tabs saved meanwhile stay.
function remember(texts) {
  const lines = storedHistory() || lineHistory.lines.slice();
  for (const text of texts) {
    if (text.trim() !== '' && lines[lines.length - 1] !== text) {
      lines.push(text);
    }
  }
  lines.splice(0, Math.max(0, lines.length - HISTORY_LIMIT));
  lineHistory.lines = lines;
  lineHistory.position = lines.length;
  try {
    localStorage.setItem(HISTORY_KEY, JSON.stringify(lines));
  } catch (error) {
    say(`History not saved: ${error.message}`);
  }
}

function recall(step) {
  const target = lineHistory.position + step;
  if (target < 0 || target > lineHistory.lines.length) {
    return;
  }
  if (lineHistory.position === lineHistory.lines.length) {
    lineHistory.draft = input.value;
  }
  lineHistory.position = target;
  input.value = target === lineHistory.lines.length ? lineHistory.draft : lineHistory.lines[target];
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
  const {constants, functions} = state.names;
  const variables = state.variables.map((variable) => variable.name).filter(isTypableName);
  const matches = [...new Set([...constants, ...variables, ...functions])]
                      .filter((name) => name.startsWith(prefix))
                      .sort();
  if (matches.length === 0) {
    say(`No name starts with ${prefix}`);
    return true;
  }
  let insertion = commonPrefix(matches).slice(prefix.length);
  if (matches.length === 1) {
    const only = matches[0];
    const opensCall = !constants.includes(only) && !variables.includes(only);
    insertion += opensCall ? '(' : '';
    say('');
  } else {
    say(`Names: ${matches.join(' ')}`);
  }
  input.setRangeText(insertion, cursor, cursor, 'end');
  return true;
}

// ---- typed and pasted lines

// A pasted block runs line by line, as if each line were typed and entered;
// what follows its last line break stays in the field.
function pasteLines(event, text) {
  if (!LINE_BREAK.test(text)) {
    return;
  }
  event.preventDefault();
  const after = input.value.slice(input.selectionEnd);
  const lines = (input.value.slice(0, input.selectionStart) + text).split(LINE_BREAK);
  const last = lines.pop();
  input.value = last + after;
  input.setSelectionRange(last.length, last.length);
  remember(lines);
  lines.forEach(submit);
}

// ---- digits: how many significant digits answers show, kept in the browser

// 0 to 17 as text, else null.
function digitsFrom(text) { return /^(1[0-7]|[0-9])$/.test(text) ? Number(text) : null; }

function storedDigits() {
  try {
    return digitsFrom(localStorage.getItem(DIGITS_KEY) || '') ?? DEFAULT_DIGITS;
  } catch (error) {
    return DEFAULT_DIGITS;
  }
}

function useDigits(digits) {
  state.digits = digits;
  digitsChoice.value = String(digits);
}

function digitsText(digits) {
  return digits === 0 ? 'numbers in their shortest form' : `numbers to ${digits} digits`;
}

function offerDigitsChoice() {
  const choices = ['0', ...Array.from({length: 17}, (_, index) => String(index + 1))];
  digitsChoice.replaceChildren(...choices.map((value) => {
    const option = document.createElement('option');
    option.value = value;
    option.textContent = value === '0' ? 'shortest' : value;
    return option;
  }));
  useDigits(storedDigits());
  digitsChoice.addEventListener('change', () => {
    useDigits(Number(digitsChoice.value));
    try {
      localStorage.setItem(DIGITS_KEY, digitsChoice.value);
    } catch (error) {
      say(`Digits not saved: ${error.message}`);
    }
  });
}

// ---- share links: #lines=... and, unless 6, &digits=N

function shareLink() {
  const url = new URL(window.location.href);
  const digits = state.digits === DEFAULT_DIGITS ? '' : `&digits=${state.digits}`;
  url.hash = `lines=${encodeURIComponent(state.lines.join('\n'))}${digits}`;
  return url.href;
}

function linkFields() {
  const fields = new Map();
  for (const field of window.location.hash.slice(1).split('&')) {
    const equals = field.indexOf('=');
    if (equals > 0) {
      fields.set(field.slice(0, equals), field.slice(equals + 1));
    }
  }
  return fields;
}

// The link's lines and digits; null when it has no lines or they cannot be
// read.
function linkContent() {
  const fields = linkFields();
  const lines = fields.get('lines');
  if (!lines) {
    return null;
  }
  const digits = fields.has('digits') ? digitsFrom(fields.get('digits')) : DEFAULT_DIGITS;
  let text = null;
  try {
    text = decodeURIComponent(lines);
  } catch (error) {
    // a broken escape: said below
  }
  if (text === null || digits === null) {
    say('The shared link is damaged: its lines are not offered.');
    return null;
  }
  return {lines: text.split(LINE_BREAK), digits};
}

// A link's lines run only once the user agrees: the page shows how many
// there are and the first of them. Inside another site's frame it offers
// nothing, so that no one can lead a click onto the button.
function offerLink() {
  const content = linkContent();
  if (content === null) {
    return;
  }
  if (window.top !== window.self) {
    say('This page is shown inside another page: the lines of its link are not offered.');
    return;
  }
  const {lines, digits} = content;
  state.offered = content;
  const withDigits = digits === state.digits ? '' : `, ${digitsText(digits)}`;
  const they = lines.length === 1 ? 'It runs' : 'They run';
  element('offer-count').textContent =
      `This link holds ${countOf(lines.length)}${withDigits}. ${they} only if you choose to:`;
  const shown =
      lines.slice(0, OFFERED_SHOWN).map((line) => showText(document.createElement('li'), line));
  if (lines.length > OFFERED_SHOWN) {
    shown.push(lineElement(`and ${countOf(lines.length - OFFERED_SHOWN, 'more ')}`, 'note'));
  }
  element('offer-lines').replaceChildren(...shown);
  element('offer-run').textContent =
      lines.length === 1 ? 'Run the line' : `Run the ${countOf(lines.length)}`;
  offer.hidden = false;
}

// The fragment leaves the address, so that a reload does not offer the
// lines again.
function closeOffer() {
  state.offered = null;
  offer.hidden = true;
  window.history.replaceState(null, '', window.location.pathname + window.location.search);
  input.focus();
}

// The lines run with the link's digits, which this page then keeps using
// (without saving them as the browser's choice).
function runOffered() {
  const {lines, digits} = state.offered;
  closeOffer();
  useDigits(digits);
  lines.forEach(submit);
}

// ---- copy

async function copyText(text, done) {
  try {
    await navigator.clipboard.writeText(text);
    say(done);
  } catch (error) {
    say(`Copying failed: ${error.message}`);
  }
}

// ---- keys and focus

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

function takesKeys(target) {
  const controls = ['INPUT', 'TEXTAREA', 'SELECT', 'BUTTON', 'A'];
  return target !== null && (target.isContentEditable || controls.includes(target.tagName));
}

// Ctrl-C stops an evaluation, or else drops the line being typed; with
// text selected it copies, as everywhere.
function onCtrlC(event) {
  if (String(window.getSelection()) !== '' || input.selectionStart !== input.selectionEnd) {
    return;
  }
  event.preventDefault();
  if (state.sent.length > 0) {
    stop();
  } else if (document.activeElement === input) {
    input.value = '';
    lineHistory.position = lineHistory.lines.length;
  }
}

// A character typed where nothing takes it (after a click in the
// transcript, say) goes to the field.
function onDocumentKey(event) {
  if (event.altKey || event.metaKey) {
    return;
  }
  const key = event.key.toLowerCase();
  if (event.ctrlKey && key === 'c') {
    onCtrlC(event);
  } else if (event.ctrlKey && key === 'l' && !event.shiftKey) {
    event.preventDefault();
    clearTranscript();
  } else if (!event.ctrlKey && [...event.key].length === 1 && !takesKeys(document.activeElement)) {
    input.focus();
  }
}

function onSubmit(event) {
  event.preventDefault();
  const text = input.value;
  input.value = '';
  remember([text]);
  submit(text);
}

// ---- start

function registerOfflineCache() {
  if ('serviceWorker' in navigator && window.isSecureContext) {
    navigator.serviceWorker.register('offline.js', {updateViaCache: 'none'}).catch((error) => {
      say(`Offline use is not available: ${error.message}`);
    });
  }
}

function onClick(id, action) {
  element(id).addEventListener('click', () => {
    action();
    input.focus();
  });
}

function main() {
  element('entry').addEventListener('submit', onSubmit);
  input.addEventListener('keydown', onInputKey);
  input.addEventListener('paste', (event) => {
    pasteLines(event, event.clipboardData.getData('text'));
  });
  input.addEventListener('drop', (event) => pasteLines(event, event.dataTransfer.getData('text')));
  document.addEventListener('keydown', onDocumentKey);
  scroller.addEventListener('scroll', () => {
    state.followEnd = scroller.scrollTop + scroller.clientHeight >= scroller.scrollHeight - 2;
  });
  window.addEventListener('storage', (event) => {
    if (event.key === HISTORY_KEY || event.key === null) {
      adoptHistory(storedHistory() || []);
    }
  });
  window.addEventListener('hashchange', offerLink);
  onClick('stop', stop);
  onClick('stop-all', stopAll);
  onClick('offer-run', runOffered);
  onClick('offer-dismiss', closeOffer);
  element('copy').addEventListener('click', () => {
    copyText(state.transcriptText.join('\n') + '\n', 'Transcript copied.');
  });
  element('share').addEventListener('click', () => {
    shareField.value = shareLink();
    shareField.hidden = false;
    copyText(shareField.value, 'Link copied.');
  });
  offerDigitsChoice();
  startWorker();
  offerLink();
  registerOfflineCache();
  input.focus();
}

main();
