// The console in a page: a transcript of typed lines and the calculator's
// answers, an input line, and a worker that evaluates. Lines are answered in
// order, each as if typed at the console; lines behind a running one wait in
// view below the transcript.
'use strict';

// History: every tab writes only its own entry, so that tabs saving at the
// same moment cannot overwrite each other's lines; readers merge them all.
// The shared key holds the lines of closed tabs (and earlier versions'
// plain list).
const HISTORY_KEY = 'calculator.history';
const TAB_HISTORY_PREFIX = 'calculator.history.tab.';
const HISTORY_CLEARED_KEY = 'calculator.history.cleared';
const HISTORY_LIMIT = 1000;
const DIGITS_KEY = 'calculator.digits';
const LINE_BREAK = /\r\n|\r|\n/;
const WAITING_SHOWN = 20;  // waiting lines listed; the others are counted
const OFFERED_SHOWN = 5;   // a link's first lines, shown before it runs
const TEXT_LIMIT = 249;    // bytes of a line that the calculator reads
const ROWS_SHOWN = 5000;   // newest transcript rows kept on screen
// Rows sit in blocks: a new row then costs the layout of its block, not of
// the whole transcript; the oldest blocks leave the screen whole.
const ROWS_PER_BLOCK = 100;
const BLOCKS_SHOWN = ROWS_SHOWN / ROWS_PER_BLOCK;
const BLOCKS_TRIMMED_AT_ONCE = 5;
// Longer links are not offered for sharing: Chromium opens about 2 MB, but
// other browsers, mail and chat programs cut far shorter addresses.
const LINK_LIMIT = 65536;
const OFFER_GUARD_MS = 1000;  // Run is refused this long after an offer shows or changes
const SUMMARY_FROM = 10;      // lines in one batch from which answers are summarised
const RUNNING_NOTICE_MS = 1000;
const USER_SCROLL_MS = 1000;  // a scroll this soon after the user's own input is theirs

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
const offerRun = element('offer-run');
const digitsChoice = element('digits');
const droppedNote = element('dropped');
const newestButton = element('newest');
const fileChoice = element('open-file');

const state = {
  worker: null,
  ready: false,
  variables: [],                          // {name, bytes} in the order first assigned
  names: {constants: [], functions: []},  // the library's built-ins, from the worker
  fixedLines: null,        // the library's prompt and interrupted line, from the first worker
  digitLimits: null,       // the library's {shortest, max, default}, from the first worker
  digits: null,            // for the lines entered from now on; known from the first worker on
  sent: [],                // lines the worker has, oldest first; the first one runs
  queue: [],               // lines for a worker that is still starting
  nextId: 1,
  lines: [],           // every line of the session, for the share link
  transcriptText: [],  // everything answered, also the rows no longer on screen
  rowsDropped: 0,      // earliest rows taken off the screen
  offered: null,       // {lines, digits, source, shownAt}, until the user runs or dismisses them
  offerGuard: 0,
  followEnd: true,  // false while the user reads further up the transcript
  userScrollUntil: 0,
  pointerOnScroller: false,
  pageScrollTop: -1,  // where the page itself last put the view
  renderPending: false,
  firstAnswerMarked: false,
  batch: null,  // {count, last} while a replay or paste is summarised
  runningNotice: 0,
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

function appendRow(row) {
  let block = transcript.lastElementChild;
  if (block === null || block.childElementCount >= ROWS_PER_BLOCK) {
    block = document.createElement('div');
    block.className = 'rows';
    transcript.append(block);
  }
  block.append(row);
  scheduleRender();
}

function appendLine(text, kind) {
  appendRow(lineElement(text, kind));
  state.transcriptText.push(text);
}

// The prompt heads the transcript, above any line entered before the
// library was ready to give it.
function showPrompt() {
  const prompt = state.fixedLines.prompt;
  const row = lineElement(prompt, 'prompt');
  if (transcript.firstElementChild === null) {
    appendRow(row);
  } else {
    transcript.firstElementChild.prepend(row);
  }
  state.transcriptText.unshift(prompt);
  scheduleRender();
}

// Something the page says about the session, not the calculator's output.
function note(text) { appendRow(lineElement(text, 'note')); }

// The status line, read out politely. A message says what it is about, so
// that it goes once that no longer applies.
const statusShown = {
  topic: ''
};

function say(text, topic = '') {
  statusLine.textContent = text;
  statusShown.topic = text === '' ? '' : topic;
}

function unsay(topic) {
  if (statusShown.topic === topic || topic === undefined) {
    say('');
  }
}

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
  trimTranscript();
  if (state.followEnd) {
    scroller.scrollTop = scroller.scrollHeight;
    state.pageScrollTop = scroller.scrollTop;
  }
  newestButton.hidden = state.followEnd;
}

// The screen keeps the newest rows, so that a long session stays as quick
// as a new one; Copy transcript still has every line.
function trimTranscript() {
  const excess = transcript.childElementCount - BLOCKS_SHOWN;
  if (excess < BLOCKS_TRIMMED_AT_ONCE) {
    return;
  }
  const heightBefore = scroller.scrollHeight;
  for (let block = 0; block < excess; ++block) {
    state.rowsDropped += transcript.firstElementChild.childElementCount;
    transcript.firstElementChild.remove();
  }
  droppedNote.textContent = `${state.rowsDropped.toLocaleString('en')} earlier rows are no ` +
      'longer shown; Copy transcript copies them too.';
  droppedNote.hidden = false;
  if (!state.followEnd) {  // what the user reads stays in place
    scroller.scrollTop -= heightBefore - scroller.scrollHeight;
    state.pageScrollTop = scroller.scrollTop;
  }
}

function atEnd() { return scroller.scrollTop + scroller.clientHeight >= scroller.scrollHeight - 2; }

// The view follows the newest line unless the user scrolled away from it:
// only a scroll that comes with the user's own wheel, touch, keys or
// scrollbar counts, never one that the page's growth caused.
function noteUserScroll() { state.userScrollUntil = performance.now() + USER_SCROLL_MS; }

function onScroll() {
  const byUser = state.pointerOnScroller || performance.now() < state.userScrollUntil;
  if (byUser && scroller.scrollTop !== state.pageScrollTop) {
    state.followEnd = atEnd();
    newestButton.hidden = state.followEnd;
  }
}

function followNewest() {
  state.followEnd = true;
  scheduleRender();
}

function watchScrolling() {
  scroller.addEventListener('wheel', noteUserScroll, {passive: true});
  scroller.addEventListener('touchmove', noteUserScroll, {passive: true});
  scroller.addEventListener('keydown', (event) => {
    if (['PageUp', 'PageDown', 'Home', 'End', 'ArrowUp', 'ArrowDown', ' '].includes(event.key)) {
      noteUserScroll();
    }
  });
  scroller.addEventListener('pointerdown', () => {
    state.pointerOnScroller = true;
  });
  window.addEventListener('pointerup', () => {
    if (state.pointerOnScroller) {
      state.pointerOnScroller = false;
      noteUserScroll();  // the scroll events of the drag's end
    }
  });
  scroller.addEventListener('scroll', onScroll);
}

// Ctrl-L: a clean screen; the line that runs stays, to take its answer.
function clearTranscript() {
  transcript.replaceChildren();
  state.transcriptText = [];
  state.rowsDropped = 0;
  droppedNote.hidden = true;
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
    if (state.digitLimits === null) {
      state.digitLimits = message.digitLimits;
      offerDigitsChoice();
      offerLink();
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
  if (state.batch !== null) {
    state.batch.count += 1;
    state.batch.last = message.lines[message.lines.length - 1] || '';
  }
  if (!state.firstAnswerMarked) {
    state.firstAnswerMarked = true;
    performance.mark('first-answer');
  }
  lineEnded();
}

// The worker gets every line at once and answers them in order. Lines
// entered before the first worker was ready take the digits chosen then.
function sendQueued() {
  if (state.ready) {
    for (const line of state.queue) {
      line.digits ??= state.digits;
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
    if (running.text.length * 3 > TEXT_LIMIT && utf8Length(running.text) > TEXT_LIMIT) {
      note(`Only the first ${TEXT_LIMIT} characters of this line were read.`);
    }
    if (state.batch === null) {
      watchRunning(running);
    }
  }
  if (running === undefined) {
    unsay('running');
    if (state.queue.length === 0) {
      endBatch();
    }
  }
  const focused = document.activeElement;
  stopButton.disabled = state.sent.length === 0;
  stopAllButton.disabled = state.sent.length + state.queue.length === 0;
  if (focused !== null && focused.disabled) {
    input.focus();  // a Stop button that has nothing left to stop
  }
  scheduleRender();
}

const utf8 = new TextEncoder();

function utf8Length(text) { return utf8.encode(text).length; }

function waitingLines() { return state.sent.slice(1).concat(state.queue); }

// A line still running after a moment is announced, with the lines that
// wait behind it.
function watchRunning(line) {
  clearTimeout(state.runningNotice);
  state.runningNotice = setTimeout(() => {
    if (state.sent[0] === line) {
      const waiting = waitingLines().length;
      const behind = waiting === 0 ? '' : `; ${countOf(waiting)} waiting`;
      say(`Still running: ${line.text}${behind}. Ctrl-C stops it.`, 'running');
    }
  }, RUNNING_NOTICE_MS);
}

// Lines of spaces and tabs are skipped, as at the terminal.
function isBlank(text) { return /^[ \t\0]*$/.test(text); }

function submit(text) {
  if (isBlank(text)) {
    return;
  }
  state.lines.push(text);
  state.queue.push({id: state.nextId++, text, digits: state.digits, shown: false});
  sendQueued();
}

// Many lines at once (a paste, a link, a file): a screen reader hears how
// many ran and the last answer, not every line.
function submitAll(lines) {
  const count = lines.filter((line) => !isBlank(line)).length;
  if (count >= SUMMARY_FROM && state.batch === null) {
    state.batch = {count: 0, last: ''};
    transcript.setAttribute('aria-live', 'off');
    say(`Running ${countOf(count)}.`, 'batch');
  }
  lines.forEach(submit);
}

function endBatch() {
  if (state.batch === null) {
    return;
  }
  const {count, last} = state.batch;
  state.batch = null;
  transcript.setAttribute('aria-live', 'polite');
  say(`${countOf(count)} run, last answer: ${last}`, 'batch');
}

// Ends the line that runs now: the variables of the last answered line go
// to a new worker, which then takes the waiting lines.
function stop() {
  if (state.sent.length === 0) {
    return;
  }
  state.queue = state.sent.slice(1).concat(state.queue);
  const stopped = state.sent[0].text;
  state.sent = [];
  appendLine(state.fixedLines.interrupted, 'answer');
  if (state.batch === null) {
    say(`Stopped: ${stopped}`, 'stop');
  }
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
//
// Each line is kept as [time, id, text]; the id tells copies of one line
// apart from a line entered twice.

function readStored(key) {
  try {
    return JSON.parse(localStorage.getItem(key));
  } catch (error) {
    return null;
  }
}

// An entry's lines; an earlier version's plain list counts as the oldest.
function itemsOf(stored, key) {
  if (!Array.isArray(stored)) {
    return [];
  }
  return stored.map((item, index) => typeof item === 'string' ? [0, `${key}.${index}`, item] : item)
      .filter(
          (item) => Array.isArray(item) && item.length === 3 && typeof item[0] === 'number' &&
              typeof item[1] === 'string' && typeof item[2] === 'string');
}

function historyKeys() {
  const keys = [];
  for (let index = 0; index < localStorage.length; ++index) {
    const key = localStorage.key(index);
    if (key === HISTORY_KEY || key.startsWith(TAB_HISTORY_PREFIX)) {
      keys.push(key);
    }
  }
  return keys;
}

function clearedAt() { return Number(localStorage.getItem(HISTORY_CLEARED_KEY)) || -1; }

// Every tab's lines, oldest first, one copy of each; [] when storage fails.
function storedItems() {
  try {
    const cleared = clearedAt();
    const byId = new Map();
    for (const key of historyKeys()) {
      for (const item of itemsOf(readStored(key), key)) {
        if (item[0] > cleared) {
          byId.set(item[1], item);
        }
      }
    }
    return [...byId.values()].sort((a, b) => a[0] - b[0] || (a[1] < b[1] ? -1 : 1));
  } catch (error) {
    return [];
  }
}

// The newest lines; a line that repeats the one before it counts once.
function newestLines(items) {
  const lines = [];
  for (const [, , text] of items) {
    if (lines[lines.length - 1] !== text) {
      lines.push(text);
    }
  }
  return lines.slice(-HISTORY_LIMIT);
}

const tabHistory = {
  key: TAB_HISTORY_PREFIX +
      Array.from(crypto.getRandomValues(new Uint32Array(2)), (n) => n.toString(36)).join(''),
  items: [],  // the lines typed in this tab
  next: 0,
  saveTimer: 0,
};

const lineHistory = {
  lines: newestLines(storedItems()),
  position: 0,
  draft: ''
};
lineHistory.position = lineHistory.lines.length;

// Takes the lines other tabs saved; a recall in progress keeps its place.
function adoptHistory(lines) {
  const atEnd = lineHistory.position === lineHistory.lines.length;
  lineHistory.lines = lines;
  lineHistory.position = atEnd ? lines.length : Math.min(lineHistory.position, lines.length);
}

function onHistoryStored(key) {
  if (key === HISTORY_CLEARED_KEY || key === null) {
    const cleared = clearedAt();
    tabHistory.items = tabHistory.items.filter((item) => item[0] > cleared);
  }
  adoptHistory(newestLines(storedItems()));
}

// Blank lines and repeats of the line before are not kept, as at the
// terminal. Other tabs' lines arrive by storage events (onHistoryStored).
function remember(texts) {
  const now = Date.now();
  const lines = lineHistory.lines;
  for (const text of texts.slice(-HISTORY_LIMIT)) {
    if (!isBlank(text)) {
      tabHistory.items.push([now, `${tabHistory.key}.${tabHistory.next++}`, text]);
      if (lines[lines.length - 1] !== text) {
        lines.push(text);
      }
    }
  }
  tabHistory.items.splice(0, Math.max(0, tabHistory.items.length - HISTORY_LIMIT));
  lines.splice(0, Math.max(0, lines.length - HISTORY_LIMIT));
  lineHistory.position = lines.length;
  // Written a moment later, once for lines entered in quick succession, so
  // that a line's answer does not wait for the storage; a page that goes
  // away writes at once (see main).
  if (tabHistory.saveTimer === 0) {
    tabHistory.saveTimer = setTimeout(saveTabHistory, 100);
  }
}

function saveTabHistory() {
  if (tabHistory.saveTimer === 0) {
    return;
  }
  clearTimeout(tabHistory.saveTimer);
  tabHistory.saveTimer = 0;
  try {
    localStorage.setItem(tabHistory.key, JSON.stringify(tabHistory.items));
  } catch (error) {
    say(`History not saved: ${error.message}`, 'history');
  }
}

function clearHistory() {
  try {
    localStorage.setItem(HISTORY_CLEARED_KEY, String(Date.now()));
    historyKeys().forEach((key) => localStorage.removeItem(key));
    say('History cleared.', 'history');
  } catch (error) {
    say(`History not cleared: ${error.message}`, 'history');
  }
  tabHistory.items = [];
  clearTimeout(tabHistory.saveTimer);
  tabHistory.saveTimer = 0;
  adoptHistory([]);
}

// The entries of closed tabs join the shared one, so that entries do not
// pile up; a tab holds a lock named for its entry while it is open.
async function foldClosedTabs() {
  if (!navigator.locks) {
    return;
  }
  navigator.locks.request(tabHistory.key, () => new Promise(() => {}));
  await navigator.locks.request('calculator.history.fold', async () => {
    const {held} = await navigator.locks.query();
    const open = new Set(held.map((lock) => lock.name));
    const closed = historyKeys().filter(
        (key) => key.startsWith(TAB_HISTORY_PREFIX) && key !== tabHistory.key && !open.has(key));
    if (closed.length === 0) {
      return;
    }
    const cleared = clearedAt();
    const items = [HISTORY_KEY, ...closed]
                      .flatMap((key) => itemsOf(readStored(key), key))
                      .filter((item) => item[0] > cleared)
                      .sort((a, b) => a[0] - b[0]);
    localStorage.setItem(HISTORY_KEY, JSON.stringify(items.slice(-HISTORY_LIMIT)));
    closed.forEach((key) => localStorage.removeItem(key));
  });
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

// Completes the name before the cursor; returns false when there is
// nothing to complete, so that Tab moves the focus as usual. Where several
// names share what is typed, the first Tab lists them and the next one
// moves on.
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
    return false;
  }
  let insertion = commonPrefix(matches).slice(prefix.length);
  if (matches.length === 1) {
    const only = matches[0];
    const opensCall = !constants.includes(only) && !variables.includes(only);
    insertion += opensCall ? '(' : '';
    unsay('names');
  } else {
    const listing = `Names: ${matches.join(' ')}`;
    if (insertion === '' && statusShown.topic === 'names' && statusLine.textContent === listing) {
      return false;
    }
    say(listing, 'names');
  }
  if (insertion === '' && matches.length === 1) {
    return false;
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
  submitAll(lines);
}

// ---- digits: how many significant digits answers show, kept in the browser

// A count the library takes, written plainly ("7", not "07"), else null.
function digitsFrom(text) {
  if (!/^(0|[1-9][0-9]*)$/.test(text)) {
    return null;
  }
  const digits = Number(text);
  const {shortest, max} = state.digitLimits;
  return digits === shortest || (digits >= 1 && digits <= max) ? digits : null;
}

function storedDigits() {
  try {
    return digitsFrom(localStorage.getItem(DIGITS_KEY) || '') ?? state.digitLimits.default;
  } catch (error) {
    return state.digitLimits.default;
  }
}

function useDigits(digits) {
  state.digits = digits;
  digitsChoice.value = String(digits);
}

// What needs the digits waits for the first worker, which brings the
// library's limits: until then it is refused, with a word.
function digitsKnown(action, topic) {
  if (state.digitLimits === null) {
    say(`The calculator is still starting: ${action} again in a moment.`, topic);
    return false;
  }
  return true;
}

function digitsText(digits) {
  if (digits === state.digitLimits.shortest) {
    return 'numbers in their shortest form';
  }
  return `numbers to ${digits} ${digits === 1 ? 'digit' : 'digits'}`;
}

// Built once the library has given its limits.
function offerDigitsChoice() {
  const {shortest, max} = state.digitLimits;
  const counts = [shortest, ...Array.from({length: max}, (_, index) => index + 1)];
  digitsChoice.replaceChildren(...counts.map((digits) => {
    const option = document.createElement('option');
    option.value = String(digits);
    option.textContent = digits === shortest ? 'shortest' : String(digits);
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

// ---- share links: #lines=... and, unless the default, &digits=N

function shareLink() {
  const url = new URL(window.location.href);
  const digits = state.digits === state.digitLimits.default ? '' : `&digits=${state.digits}`;
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

// The lines a link or file holds: blank ones are skipped, as at the
// terminal, so a trailing line break adds none.
function linesOf(text) { return text.split(LINE_BREAK).filter((line) => !isBlank(line)); }

// The link's lines and digits; null when it has no lines, 'damaged' when
// they cannot be read.
function linkContent() {
  const fields = linkFields();
  const lines = fields.get('lines');
  if (!lines) {
    return null;
  }
  const digits =
      fields.has('digits') ? digitsFrom(fields.get('digits')) : state.digitLimits.default;
  let text = null;
  try {
    text = decodeURIComponent(lines);
  } catch (error) {
    // a broken escape: said below
  }
  return text === null || digits === null ? 'damaged' : {lines: linesOf(text), digits};
}

// A link's lines run only once the user agrees: the page shows how many
// there are and the first of them. Inside another site's frame it offers
// nothing, so that no one can lead a click onto the button. When the
// address changes under an offer, the offer on screen goes: whatever
// replaces it says so. Links wait for the library's digit limits.
function offerLink() {
  if (state.digitLimits === null) {
    return;
  }
  const content = linkContent();
  if (content === null) {
    if (state.offered !== null && state.offered.source === 'link') {
      withdrawOffer('The link changed: its lines are no longer offered.');
    }
    return;
  }
  if (content === 'damaged') {
    withdrawOffer('The shared link is damaged: its lines are not offered.');
    return;
  }
  if (window.top !== window.self) {
    say('This page is shown inside another page: the lines of its link are not offered.');
    return;
  }
  if (content.lines.length === 0) {
    withdrawOffer('The shared link holds no lines.');
    return;
  }
  showOffer(content, 'link');
}

function showOffer({lines, digits}, source) {
  const replacing = state.offered !== null;
  state.offered = {lines, digits, source, shownAt: performance.now()};
  const withDigits = digits === state.digits ? '' : `, ${digitsText(digits)}`;
  const they = lines.length === 1 ? 'It runs' : 'They run';
  const holder = source === 'link' ? 'This link' : 'This file';
  const summary = `${holder} holds ${countOf(lines.length)}${withDigits}.`;
  element('offer-count').textContent = `${summary} ${they} only if you choose to:`;
  const shown =
      lines.slice(0, OFFERED_SHOWN).map((line) => showText(document.createElement('li'), line));
  if (lines.length > OFFERED_SHOWN) {
    const more = document.createElement('li');
    more.className = 'note';
    more.textContent = `and ${countOf(lines.length - OFFERED_SHOWN, 'more ')}`;
    shown.push(more);
  }
  element('offer-lines').replaceChildren(...shown);
  element('offer-replaced').hidden = !replacing;
  offerRun.textContent = lines.length === 1 ? 'Run the line' : `Run the ${countOf(lines.length)}`;
  // Run is refused for a moment, so that a click aimed at something else
  // cannot land on an offer that just appeared.
  offerRun.setAttribute('aria-disabled', 'true');
  clearTimeout(state.offerGuard);
  state.offerGuard = setTimeout(() => offerRun.removeAttribute('aria-disabled'), OFFER_GUARD_MS);
  offer.hidden = false;
  const first = replacing ? 'The offer changed. ' : '';
  say(`${first}${summary} Choose Run or Dismiss below the field.`, 'offer');
}

function withdrawOffer(reason) {
  if (state.offered !== null) {
    hideOffer();
  }
  say(reason, 'offer');
}

function hideOffer() {
  state.offered = null;
  clearTimeout(state.offerGuard);
  offer.hidden = true;
}

// The fragment leaves the address, so that a reload does not offer the
// lines again.
function closeOffer() {
  const source = state.offered && state.offered.source;
  hideOffer();
  unsay('offer');
  if (source === 'link' || window.location.hash !== '') {
    window.history.replaceState(null, '', window.location.pathname + window.location.search);
  }
  input.focus();
}

// The lines run with the offer's digits, which this page then keeps using
// (without saving them as the browser's choice).
function runOffered() {
  if (state.offered === null) {
    return;
  }
  if (performance.now() - state.offered.shownAt < OFFER_GUARD_MS) {
    say('The offer has just appeared or changed: read it, then choose Run again.', 'offer');
    return;
  }
  const {lines, digits} = state.offered;
  closeOffer();
  useDigits(digits);
  followNewest();
  submitAll(lines);
}

// ---- sessions as text files: one line a line

function saveSession() {
  const file = new Blob([state.lines.map((line) => line + '\n').join('')], {type: 'text/plain'});
  const link = document.createElement('a');
  link.href = URL.createObjectURL(file);
  link.download = 'calculator-session.txt';
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 0);
  say(`Session saved as ${link.download} (${countOf(state.lines.length)}).`, 'share');
}

async function openSession(file) {
  if (!digitsKnown('open the file', 'offer')) {
    return;
  }
  try {
    const lines = linesOf(await file.text());
    if (lines.length === 0) {
      withdrawOffer(`${file.name} holds no lines.`);
    } else {
      showOffer({lines, digits: state.digits}, 'file');
    }
  } catch (error) {
    say(`${file.name} could not be read: ${error.message}`, 'offer');
  }
}

function share() {
  if (!digitsKnown('share', 'share')) {
    return;
  }
  const link = shareLink();
  if (link.length > LINK_LIMIT) {
    shareField.hidden = true;
    say(`This session is too long for a link (${link.length.toLocaleString('en')} characters; ` +
            `links stay under ${LINK_LIMIT.toLocaleString('en')}). Save session keeps it as a ` +
            'file, which Open session runs again.',
        'share');
    return;
  }
  shareField.value = link;
  shareField.hidden = false;
  copyText(link, 'Link copied.');
}

// ---- copy

async function copyText(text, done) {
  try {
    await navigator.clipboard.writeText(text);
    say(done, 'copy');
  } catch (error) {
    say(`Copying failed: ${error.message}`, 'copy');
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
  if (key === 'escape' && !event.ctrlKey) {
    onEscape();
  } else if (event.ctrlKey && key === 'c') {
    onCtrlC(event);
  } else if (event.ctrlKey && key === 'l' && !event.shiftKey) {
    event.preventDefault();
    clearTranscript();
  } else if (!event.ctrlKey && [...event.key].length === 1 && !takesKeys(document.activeElement)) {
    input.focus();
  }
}

// Escape dismisses an offer; with none, it clears the field.
function onEscape() {
  if (state.offered !== null) {
    closeOffer();
  } else if (document.activeElement === input) {
    input.value = '';
    lineHistory.position = lineHistory.lines.length;
  }
}

function onSubmit(event) {
  event.preventDefault();
  const text = input.value;
  input.value = '';
  if (state.offered === null || statusShown.topic !== 'offer') {
    unsay();  // what the status said was about earlier lines
  }
  followNewest();
  remember([text]);
  submit(text);
}

// A text file dropped anywhere on the page is offered like a link.
function onFileDrop(event) {
  const files = event.dataTransfer && event.dataTransfer.files;
  if (files && files.length > 0) {
    event.preventDefault();
    openSession(files[0]);
  }
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
  input.addEventListener('drop', (event) => {
    if (event.dataTransfer.files.length === 0) {
      pasteLines(event, event.dataTransfer.getData('text'));
    }
  });
  input.addEventListener('input', () => unsay('names'));
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', onFileDrop);
  document.addEventListener('keydown', onDocumentKey);
  watchScrolling();
  window.addEventListener('storage', (event) => {
    if (event.key === null || event.key.startsWith(HISTORY_KEY)) {
      onHistoryStored(event.key);
    }
  });
  window.addEventListener('pagehide', saveTabHistory);
  document.addEventListener('visibilitychange', saveTabHistory);
  window.addEventListener('hashchange', offerLink);
  onClick('stop', stop);
  onClick('stop-all', stopAll);
  // A refused Run leaves the focus on the button, for the next try.
  offerRun.addEventListener('click', () => {
    runOffered();
    if (state.offered === null) {
      input.focus();
    }
  });
  onClick('offer-dismiss', closeOffer);
  onClick('newest', followNewest);
  onClick('clear-history', clearHistory);
  onClick('save', saveSession);
  element('open').addEventListener('click', () => fileChoice.click());
  fileChoice.addEventListener('change', () => {
    if (fileChoice.files.length > 0) {
      openSession(fileChoice.files[0]);
    }
    fileChoice.value = '';
  });
  element('copy').addEventListener('click', () => {
    copyText(state.transcriptText.join('\n') + '\n', 'Transcript copied.');
  });
  element('share').addEventListener('click', share);
  startWorker();
  foldClosedTabs().catch(() => {});  // folding waits for a later visit
  registerOfflineCache();
  input.focus();
}

main();
