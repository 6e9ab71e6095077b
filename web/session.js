// One calculator session inside the WebAssembly module, driven through the
// library's C interface only. The worker uses it, and so does the Node
// driver that compares the module with the native program.
'use strict';

function openCalculatorSession(module) {
  const api = {
    create: module.cwrap('calculator_new', 'number', []),
    answer: module.cwrap('calculator_answer', 'number', ['number', 'number', 'number', 'number']),
    setReportHandler:
        module.cwrap('calculator_set_report_handler', null, ['number', 'number', 'number']),
    setVariable: module.cwrap('calculator_set_variable', 'number', ['number', 'number', 'number']),
    getVariable: module.cwrap('calculator_get_variable', 'number', ['number', 'number', 'number']),
    variableCount: module.cwrap('calculator_variable_count', 'number', ['number']),
    variableName: module.cwrap('calculator_variable_name', 'number', ['number', 'number']),
    version: module.cwrap('calculator_version', 'number', []),
    setDigits: module.cwrap('calculator_set_digits', 'number', ['number', 'number']),
    constantName: module.cwrap('calculator_constant_name', 'number', ['number']),
    functionName: module.cwrap('calculator_function_name', 'number', ['number']),
    answerSize: module.cwrap('calculator_answer_size', 'number', []),
    prompt: module.cwrap('calculator_prompt', 'number', []),
    interruptedLine: module.cwrap('calculator_interrupted_line', 'number', []),
  };
  const session = api.create();
  if (session === 0) {
    throw new Error('the calculator could not start: out of memory');
  }
  // Room for any answer line, as the library gives it.
  const answerSize = api.answerSize();
  const answerBuffer = module._malloc(answerSize);
  const valueBuffer = module._malloc(8);
  let reports = [];
  const reportHandler = module.addFunction((context, line) => {
    reports.push(module.UTF8ToString(line));
  }, 'vii');
  api.setReportHandler(session, reportHandler, 0);

  // Copies the bytes of a line into the module's memory, terminated.
  function withText(bytes, use) {
    const pointer = module._malloc(bytes.length + 1);
    if (pointer === 0) {
      throw new Error('the calculator is out of memory');
    }
    try {
      module.HEAPU8.set(bytes, pointer);
      module.HEAPU8[pointer + bytes.length] = 0;
      return use(pointer);
    } finally {
      module._free(pointer);
    }
  }

  function utf8(text) { return typeof text === 'string' ? new TextEncoder().encode(text) : text; }

  // The lines the console prints for one input line: the report lines of
  // failed nested evaluations, then the answer line.
  function answer(line) {
    reports = [];
    const length =
        withText(utf8(line), (text) => api.answer(session, text, answerBuffer, answerSize));
    const lines = reports;
    reports = [];
    if (length >= 0) {
      lines.push(module.UTF8ToString(answerBuffer));
    }
    return lines;
  }

  // The variables in the order first assigned, each value as its eight
  // bytes: a NaN keeps its sign and payload on the way to another session.
  function variables() {
    const list = [];
    const count = api.variableCount(session);
    for (let index = 0; index < count; ++index) {
      const namePointer = api.variableName(session, index);
      api.getVariable(session, namePointer, valueBuffer);
      list.push({
        name: module.UTF8ToString(namePointer),
        bytes: module.HEAPU8.slice(valueBuffer, valueBuffer + 8),
      });
    }
    return list;
  }

  function restoreVariables(list) {
    for (const variable of list) {
      module.HEAPU8.set(variable.bytes, valueBuffer);
      withText(utf8(variable.name), (name) => {
        api.setVariable(session, name, module.HEAPF64[valueBuffer >> 3]);
      });
    }
  }

  // The library's built-in names, read until its list ends.
  function namesFrom(nameAt) {
    const names = [];
    for (let pointer = nameAt(0); pointer !== 0; pointer = nameAt(names.length)) {
      names.push(module.UTF8ToString(pointer));
    }
    return names;
  }

  return {
    answer,
    variables,
    restoreVariables,
    // 0 for the shortest form, 1 to 17; false for any other count.
    setDigits: (digits) => api.setDigits(session, digits) === 0,
    builtinNames: () => ({
      constants: namesFrom(api.constantName),
      functions: namesFrom(api.functionName),
    }),
    version: () => module.UTF8ToString(api.version()),
    // The lines a console shows before the first answer and in place of an
    // interrupted one.
    fixedLines: () => ({
      prompt: module.UTF8ToString(api.prompt()),
      interrupted: module.UTF8ToString(api.interruptedLine()),
    }),
  };
}

if (typeof module !== 'undefined' && module.exports) {
  module.exports = {openCalculatorSession};
}
