// calculator._calculator: the calculator's sessions for Python, written on
// the library's C interface alone and on Python's limited API, so that one
// build of the module serves every Python 3 from 3.8 on.
//
// A session evaluates with the GIL released, so sessions in several threads
// run at once. A session used from two threads at once is refused with
// BusyError: the flag that says it is evaluating is read and set with the
// GIL held, so no two threads can both take it. On the main thread the
// library's progress handler takes the GIL back every so many loop steps to
// run Python's signal handlers: Ctrl-C raises KeyboardInterrupt there, and
// the evaluation stops with the session intact.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <new>
#include <string>

#include "calculator/calculator.h"

namespace {

// Loop steps between two checks for signals and interrupt(). A step
// evaluates at most one line's text: from some 20 ns (sigma(i,1,n,i)) to
// some 20 us (a body of 200 characters of function calls), so Ctrl-C is
// seen within 0.2 s at worst, and taking the GIL back this rarely costs
// nothing that shows (unless other threads hold it: then the main thread's
// evaluation waits for its turn at each check).
constexpr unsigned kStepsBetweenChecks = 10000;
constexpr int kDefaultDigits = CALCULATOR_DEFAULT_DIGITS;
constexpr int kShortestDigits = CALCULATOR_SHORTEST_DIGITS;
constexpr int kMostDigits = CALCULATOR_MAX_DIGITS;
constexpr char kBusyMessage[] =
    "the session is evaluating in another thread (or in a signal handler of its own)";

PyObject* error_type = nullptr;        // calculator.Error, a ValueError
PyObject* busy_error_type = nullptr;   // calculator.BusyError, a RuntimeError
PyObject* interrupted_type = nullptr;  // calculator.Interrupted, a RuntimeError
// Python runs signal handlers on its main thread only.
unsigned long main_thread = 0;

struct SessionObject {
  PyObject ob_base;  // PyObject_HEAD
  calculator_session* session;
  int digits;
  // Set, with the GIL held, by the thread that uses the session.
  bool busy;
  // While an evaluation runs on the main thread: whether the progress
  // handler checks for signals, and the thread's state while the GIL is
  // released.
  bool checks_signals;
  PyThreadState* released;
  // interrupt() was called since the evaluation was taken. The library
  // forgets a request made before its evaluation starts, and the thread
  // that took the session may not have reached it yet.
  std::atomic<bool> stop_requested;
  // The report lines of the evaluation that runs, each ended by '\n'; only
  // answer() keeps them.
  std::string* reports;
  bool keeps_reports;
  bool reports_lost;
};

// ---- Arguments ------------------------------------------------------------

// The bytes of a str (as UTF-8) or bytes argument, NUL-terminated, as the C
// interface reads them. A NUL inside is refused rather than cut at.
class Text {
 public:
  Text() = default;
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() { Py_XDECREF(owned_); }

  // False with TypeError, ValueError or MemoryError set.
  bool Read(PyObject* argument) {
    PyObject* bytes = argument;
    if (PyUnicode_Check(argument)) {
      owned_ = PyUnicode_AsUTF8String(argument);
      if (owned_ == nullptr) {
        return false;
      }
      bytes = owned_;
    } else if (!PyBytes_Check(argument)) {
      PyErr_Format(PyExc_TypeError, "expected str or bytes, not %R",
                   reinterpret_cast<PyObject*>(Py_TYPE(argument)));
      return false;
    }
    Py_ssize_t length = 0;
    if (PyBytes_AsStringAndSize(bytes, &text_, &length) != 0) {
      return false;
    }
    if (std::char_traits<char>::find(text_, static_cast<std::size_t>(length), '\0') != nullptr) {
      PyErr_SetString(PyExc_ValueError, "embedded null character");
      return false;
    }
    return true;
  }
  const char* c_str() const { return text_; }

 private:
  PyObject* owned_ = nullptr;
  char* text_ = nullptr;
};

// A variable's name: a str key, as UTF-8 bytes (a name of the language is
// ASCII, so nothing else can be one). False, with nothing set, for a key
// that is no str or holds a NUL.
bool ReadName(PyObject* key, Text& name) {
  if (!PyUnicode_Check(key)) {
    return false;
  }
  if (!name.Read(key)) {
    PyErr_Clear();
    return false;
  }
  return true;
}

// The digits argument: an int from 0 to 17.
bool ReadDigits(PyObject* argument, int& digits) {
  if (!PyLong_Check(argument)) {
    PyErr_Format(PyExc_TypeError, "digits must be an int, not %R",
                 reinterpret_cast<PyObject*>(Py_TYPE(argument)));
    return false;
  }
  const long value = PyLong_AsLong(argument);
  if (value == -1 && PyErr_Occurred()) {
    PyErr_Clear();
  } else if (value >= kShortestDigits && value <= kMostDigits) {
    digits = static_cast<int>(value);
    return true;
  }
  PyErr_Format(PyExc_ValueError, "digits must be from 1 to 17, or 0 for the shortest, not %R",
               argument);
  return false;
}

// ---- Evaluations ----------------------------------------------------------

void CollectReport(void* context, const char* line) {
  auto* self = static_cast<SessionObject*>(context);
  if (!self->keeps_reports) {
    return;
  }
  try {
    self->reports->append(line).push_back('\n');
  } catch (const std::bad_alloc&) {
    self->reports_lost = true;
  }
}

int CheckProgress(void* context) {
  auto* self = static_cast<SessionObject*>(context);
  if (self->stop_requested.load(std::memory_order_relaxed)) {
    return 1;
  }
  if (!self->checks_signals) {
    return 0;
  }
  PyEval_RestoreThread(self->released);
  const int stop = PyErr_CheckSignals();
  self->released = PyEval_SaveThread();
  return stop;
}

// Takes the session for this thread; false with BusyError set when it is
// taken already.
bool Take(SessionObject* self) {
  if (self->busy) {
    PyErr_SetString(busy_error_type, kBusyMessage);
    return false;
  }
  self->busy = true;
  return true;
}

// Runs `evaluation` with the GIL released and the session taken.
template <typename Evaluation>
int RunReleased(SessionObject* self, Evaluation evaluation) {
  self->checks_signals = PyThread_get_thread_ident() == main_thread;
  self->stop_requested.store(false, std::memory_order_relaxed);
  self->released = PyEval_SaveThread();
  const int status = evaluation();
  PyEval_RestoreThread(self->released);
  self->released = nullptr;
  self->busy = false;
  return status;
}

// The exception for a status other than OK and ERROR. NULL.
PyObject* RaiseStopped(int status) {
  if (status == CALCULATOR_INTERRUPTED) {
    // A signal handler's exception (KeyboardInterrupt) stands; without one,
    // interrupt() stopped the evaluation.
    if (!PyErr_Occurred()) {
      PyErr_SetString(interrupted_type, "Interrupted.");
    }
  } else if (status == CALCULATOR_BUSY) {
    PyErr_SetString(busy_error_type, kBusyMessage);
  } else {
    PyErr_NoMemory();
  }
  return nullptr;
}

PyObject* Evaluate(PyObject* object, PyObject* argument) {
  auto* self = reinterpret_cast<SessionObject*>(object);
  Text text;
  if (!text.Read(argument) || !Take(self)) {
    return nullptr;
  }
  calculator_session* session = self->session;
  double value = 0.0;
  const int status = RunReleased(self, [session, &text, &value] {
    return calculator_evaluate(session, text.c_str(), &value);
  });
  if (status == CALCULATOR_OK) {
    return PyFloat_FromDouble(value);
  }
  if (status == CALCULATOR_ERROR) {
    PyErr_SetString(error_type, calculator_error_message(session));
    return nullptr;
  }
  return RaiseStopped(status);
}

PyObject* Answer(PyObject* object, PyObject* argument) {
  auto* self = reinterpret_cast<SessionObject*>(object);
  Text text;
  if (!text.Read(argument) || !Take(self)) {
    return nullptr;
  }
  calculator_session* session = self->session;
  char line[CALCULATOR_ANSWER_SIZE];
  self->reports->clear();
  self->reports_lost = false;
  self->keeps_reports = true;
  const int length = RunReleased(self, [session, &text, &line] {
    return calculator_answer(session, text.c_str(), line, sizeof line);
  });
  self->keeps_reports = false;
  if (length < 0) {
    return RaiseStopped(-length);
  }
  if (self->reports_lost) {
    return PyErr_NoMemory();
  }
  std::string& reports = *self->reports;
  if (reports.empty()) {
    return PyUnicode_DecodeUTF8(line, length, "replace");
  }
  try {
    reports.append(line, static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  PyObject* answer =
      PyUnicode_DecodeUTF8(reports.data(), static_cast<Py_ssize_t>(reports.size()), "replace");
  // A loop that failed in every step leaves no large buffer behind.
  std::string().swap(reports);
  return answer;
}

PyObject* Interrupt(PyObject* object, PyObject*) {
  auto* self = reinterpret_cast<SessionObject*>(object);
  self->stop_requested.store(true, std::memory_order_relaxed);
  calculator_interrupt(self->session);
  Py_RETURN_NONE;
}

// ---- Digits ---------------------------------------------------------------

PyObject* GetDigits(PyObject* object, void*) {
  return PyLong_FromLong(reinterpret_cast<SessionObject*>(object)->digits);
}

int SetDigits(PyObject* object, PyObject* value, void*) {
  auto* self = reinterpret_cast<SessionObject*>(object);
  int digits = 0;
  if (value == nullptr) {
    PyErr_SetString(PyExc_AttributeError, "digits cannot be deleted");
    return -1;
  }
  if (!ReadDigits(value, digits) || !Take(self)) {
    return -1;
  }
  const int status = calculator_set_digits(self->session, digits);
  self->busy = false;
  if (status != CALCULATOR_OK) {
    RaiseStopped(status);
    return -1;
  }
  self->digits = digits;
  return 0;
}

// ---- Variables, as a mapping ----------------------------------------------

Py_ssize_t CountVariables(PyObject* object) {
  auto* self = reinterpret_cast<SessionObject*>(object);
  if (!Take(self)) {
    return -1;
  }
  const size_t count = calculator_variable_count(self->session);
  self->busy = false;
  return static_cast<Py_ssize_t>(count);
}

// 1 with *value set, 0 for no such variable, -1 with BusyError set.
int FindVariable(SessionObject* self, PyObject* key, double* value) {
  Text name;
  if (!ReadName(key, name)) {
    return 0;
  }
  if (!Take(self)) {
    return -1;
  }
  const int status = calculator_get_variable(self->session, name.c_str(), value);
  self->busy = false;
  return status == CALCULATOR_OK ? 1 : 0;
}

PyObject* GetVariable(PyObject* object, PyObject* key) {
  double value = 0.0;
  const int found = FindVariable(reinterpret_cast<SessionObject*>(object), key, &value);
  if (found == 1) {
    return PyFloat_FromDouble(value);
  }
  if (found == 0) {
    PyErr_SetObject(PyExc_KeyError, key);
  }
  return nullptr;
}

int HasVariable(PyObject* object, PyObject* key) {
  double value = 0.0;
  return FindVariable(reinterpret_cast<SessionObject*>(object), key, &value);
}

int SetVariable(PyObject* object, PyObject* key, PyObject* number) {
  auto* self = reinterpret_cast<SessionObject*>(object);
  if (number == nullptr) {
    PyErr_SetString(PyExc_TypeError, "a session's variables cannot be deleted");
    return -1;
  }
  if (!PyUnicode_Check(key)) {
    PyErr_Format(PyExc_TypeError, "a variable's name must be a str, not %R",
                 reinterpret_cast<PyObject*>(Py_TYPE(key)));
    return -1;
  }
  Text name;
  if (!name.Read(key)) {
    PyErr_Clear();
    PyErr_Format(PyExc_ValueError, "not a name that an expression can read: %R", key);
    return -1;
  }
  const double value = PyFloat_AsDouble(number);
  if (value == -1.0 && PyErr_Occurred()) {
    return -1;
  }
  if (!Take(self)) {
    return -1;
  }
  const int status = calculator_set_variable(self->session, name.c_str(), value);
  self->busy = false;
  switch (status) {
    case CALCULATOR_OK:
      return 0;
    case CALCULATOR_INVALID_NAME:
      PyErr_Format(PyExc_ValueError, "not a name that an expression can read: %R", key);
      return -1;
    case CALCULATOR_ERROR:
      PyErr_SetString(error_type, calculator_error_message(self->session));
      return -1;
    default:
      RaiseStopped(status);
      return -1;
  }
}

// The names in the order first assigned, the order the console knows them.
PyObject* IterateVariables(PyObject* object) {
  auto* self = reinterpret_cast<SessionObject*>(object);
  if (!Take(self)) {
    return nullptr;
  }
  const size_t count = calculator_variable_count(self->session);
  PyObject* names = PyList_New(static_cast<Py_ssize_t>(count));
  for (size_t i = 0; names != nullptr && i < count; ++i) {
    PyObject* name = PyUnicode_FromString(calculator_variable_name(self->session, i));
    if (name == nullptr) {
      Py_CLEAR(names);
      break;
    }
    PyList_SetItem(names, static_cast<Py_ssize_t>(i), name);
  }
  self->busy = false;
  if (names == nullptr) {
    return nullptr;
  }
  PyObject* iterator = PyObject_GetIter(names);
  Py_DECREF(names);
  return iterator;
}

// ---- The type -------------------------------------------------------------

PyObject* NewSession(PyTypeObject* type, PyObject*, PyObject*) {
  auto* allocate = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  auto* self = reinterpret_cast<SessionObject*>(allocate(type, 0));
  if (self == nullptr) {
    return nullptr;
  }
  new (&self->stop_requested) std::atomic<bool>(false);
  self->session = calculator_new();
  self->reports = new (std::nothrow) std::string;
  if (self->session == nullptr || self->reports == nullptr) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  self->digits = kDefaultDigits;
  calculator_set_report_handler(self->session, CollectReport, self);
  calculator_set_progress_handler(self->session, kStepsBetweenChecks, CheckProgress, self);
  return reinterpret_cast<PyObject*>(self);
}

int InitSession(PyObject* object, PyObject* arguments, PyObject* keywords) {
  static const char* names[] = {"digits", nullptr};
  PyObject* digits_argument = nullptr;
  if (!PyArg_ParseTupleAndKeywords(arguments, keywords, "|O:Session", const_cast<char**>(names),
                                   &digits_argument)) {
    return -1;
  }
  if (digits_argument == nullptr) {
    return 0;
  }
  return SetDigits(object, digits_argument, nullptr);
}

void FreeSession(PyObject* object) {
  auto* self = reinterpret_cast<SessionObject*>(object);
  calculator_free(self->session);
  delete self->reports;
  PyTypeObject* type = Py_TYPE(object);
  auto* release = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  release(object);
  Py_DECREF(type);
}

PyMethodDef session_methods[] = {
    {"evaluate", Evaluate, METH_O,
     "evaluate(text, /)\n--\n\n"
     "The value of the expression at the start of `text` (str or bytes) as a float;\n"
     "only the first 249 characters are read, as the console reads a line.\n"
     "Raises calculator.Error with the console's message when the text has an error;\n"
     "report lines of failed nested evaluations are dropped (answer() keeps them)."},
    {"answer", Answer, METH_O,
     "answer(text, /)\n--\n\n"
     "The lines the console prints for `text`: the report lines of failed nested\n"
     "evaluations, each ended by a newline, then \"Result is ...\" or \"Error : ...\"."},
    {"interrupt", Interrupt, METH_NOARGS,
     "interrupt()\n--\n\n"
     "Stops the evaluation that runs now, from any thread; it raises\n"
     "calculator.Interrupted. Nothing happens when no evaluation runs."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef session_properties[] = {
    {"digits", GetDigits, SetDigits,
     "Significant digits of the numbers in answer lines: 1 to 17, or 0 for the\n"
     "shortest text that reads back as the same float. 6 by default.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot session_slots[] = {
    {Py_tp_doc,
     const_cast<char*>("Session(digits=6)\n--\n\n"
                       "One evaluator with its variables, which live from one evaluation to the\n"
                       "next; a mapping of the variables' names to their values.")},
    {Py_tp_new, reinterpret_cast<void*>(NewSession)},
    {Py_tp_init, reinterpret_cast<void*>(InitSession)},
    {Py_tp_dealloc, reinterpret_cast<void*>(FreeSession)},
    {Py_tp_methods, session_methods},
    {Py_tp_getset, session_properties},
    {Py_mp_length, reinterpret_cast<void*>(CountVariables)},
    {Py_mp_subscript, reinterpret_cast<void*>(GetVariable)},
    {Py_mp_ass_subscript, reinterpret_cast<void*>(SetVariable)},
    {Py_sq_contains, reinterpret_cast<void*>(HasVariable)},
    {Py_tp_iter, reinterpret_cast<void*>(IterateVariables)},
    {0, nullptr},
};

PyType_Spec session_spec = {
    "calculator._calculator.Session",         sizeof(SessionObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, session_slots,
};

// ---- The module -----------------------------------------------------------

PyObject* FormatNumber(PyObject*, PyObject* arguments, PyObject* keywords) {
  static const char* names[] = {"value", "digits", nullptr};
  double value = 0.0;
  PyObject* digits_argument = nullptr;
  if (!PyArg_ParseTupleAndKeywords(arguments, keywords, "d|O:format_number",
                                   const_cast<char**>(names), &value, &digits_argument)) {
    return nullptr;
  }
  int digits = kDefaultDigits;
  if (digits_argument != nullptr && !ReadDigits(digits_argument, digits)) {
    return nullptr;
  }
  char text[CALCULATOR_NUMBER_TEXT_SIZE];
  const size_t length = calculator_format_number_digits(value, digits, text, sizeof text);
  return PyUnicode_FromStringAndSize(text, static_cast<Py_ssize_t>(length));
}

PyMethodDef module_functions[] = {
    {"format_number", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(FormatNumber)),
     METH_VARARGS | METH_KEYWORDS,
     "format_number(value, digits=6)\n--\n\n"
     "The console's text of a float with `digits` significant digits (1 to 17),\n"
     "or the shortest that reads back as the same float (0): \"1e+006\", \"-1.#IND\"."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "calculator._calculator",
    "The calculator's sessions on its C library (see the calculator package).",
    -1,
    module_functions,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Adds `object` to the module under `name`, taking the reference; false
// with an exception set.
bool AddObject(PyObject* module, const char* name, PyObject* object) {
  if (object == nullptr) {
    return false;
  }
  Py_INCREF(object);  // the module's; the caller keeps its own
  if (PyModule_AddObject(module, name, object) != 0) {
    Py_DECREF(object);
    return false;
  }
  return true;
}

bool RecordMainThread() {
  PyObject* threading = PyImport_ImportModule("threading");
  PyObject* thread =
      threading == nullptr ? nullptr : PyObject_CallMethod(threading, "main_thread", nullptr);
  PyObject* ident = thread == nullptr ? nullptr : PyObject_GetAttrString(thread, "ident");
  if (ident != nullptr) {
    main_thread = PyLong_AsUnsignedLong(ident);
  }
  Py_XDECREF(ident);
  Py_XDECREF(thread);
  Py_XDECREF(threading);
  return ident != nullptr && !PyErr_Occurred();
}

}  // namespace

PyMODINIT_FUNC PyInit__calculator(void) {
  PyObject* module = PyModule_Create(&module_definition);
  if (module == nullptr) {
    return nullptr;
  }
  if (error_type == nullptr) {
    error_type = PyErr_NewExceptionWithDoc(
        "calculator.Error",
        "An error in the evaluated text; str() is the message the console prints\n"
        "after \"Error : \".",
        PyExc_ValueError, nullptr);
    busy_error_type = PyErr_NewExceptionWithDoc(
        "calculator.BusyError",
        "The session is evaluating in another thread; a session serves one thread\n"
        "at a time.",
        PyExc_RuntimeError, nullptr);
    interrupted_type = PyErr_NewExceptionWithDoc("calculator.Interrupted",
                                                 "Session.interrupt() stopped the evaluation.",
                                                 PyExc_RuntimeError, nullptr);
  }
  PyObject* session_type = PyType_FromSpec(&session_spec);
  const bool ready =
      RecordMainThread() && AddObject(module, "Error", error_type) &&
      AddObject(module, "BusyError", busy_error_type) &&
      AddObject(module, "Interrupted", interrupted_type) &&
      AddObject(module, "Session", session_type) &&
      PyModule_AddStringConstant(module, "library_version", calculator_version()) == 0;
  Py_XDECREF(session_type);
  if (!ready) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
