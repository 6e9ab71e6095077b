# The hardening that Debian's build flags give a package, on the files this
# project ships: the program, the shared library (and the objects of both),
# and on Windows the DLL and the .exe.
#
#   compiled  -fstack-protector-strong, -fcf-protection where the compiler
#             has it (ELF only: Windows has no use for its marks);
#             -D_FORTIFY_SOURCE=2 (ELF only) outside Debug builds
#   ELF       position-independent program (PIE), full RELRO (-z relro,
#             -z now: BIND_NOW), a stack that cannot execute
#   Windows   ASLR with a high-entropy address space, DEP (NX); the stack
#             protector's run-time is linked in with the rest (-static)
#
# tests/install/hardening.cmake checks each property on the built and the
# installed files. Included once, before the targets exist; the flags are
# put on the targets at the end of the top folder, when they all do.

include(CheckCXXCompilerFlag)
include(CheckPIESupported)

set(calculator_hardening_compile_options)
set(calculator_hardening_link_options)

check_cxx_compiler_flag(-fstack-protector-strong CALCULATOR_HAVE_STACK_PROTECTOR_STRONG)
if(CALCULATOR_HAVE_STACK_PROTECTOR_STRONG)
  list(APPEND calculator_hardening_compile_options -fstack-protector-strong)
  # MinGW links its stack protector's run-time only when told at link time;
  # the C library has it elsewhere.
  if(WIN32)
    list(APPEND calculator_hardening_link_options -fstack-protector-strong)
  endif()
endif()

if(WIN32)
  list(APPEND calculator_hardening_link_options
    "LINKER:--dynamicbase" "LINKER:--high-entropy-va" "LINKER:--nxcompat")
  set(CALCULATOR_HARDENED_CF_PROTECTION OFF)
else()
  check_cxx_compiler_flag(-fcf-protection CALCULATOR_HAVE_CF_PROTECTION)
  set(CALCULATOR_HARDENED_CF_PROTECTION ${CALCULATOR_HAVE_CF_PROTECTION})
  if(CALCULATOR_HAVE_CF_PROTECTION)
    list(APPEND calculator_hardening_compile_options -fcf-protection)
  endif()
  # The C library's checked variants of memcpy, snprintf and the like; they
  # need the optimiser.
  list(APPEND calculator_hardening_compile_options $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  list(APPEND calculator_hardening_link_options
    "LINKER:-z,relro" "LINKER:-z,now" "LINKER:-z,noexecstack")
  # POSITION_INDEPENDENT_CODE then links programs with -pie too.
  check_pie_supported(LANGUAGES CXX)
endif()

# The targets compiled into a shipped file, and the ones linked into one.
# Not Windows' libcalculator.a, compiled apart: its consumers would have to
# link the stack protector's run-time (on Linux the C library has it, and
# the archive holds the shared library's objects).
set(calculator_hardened_compiled
  calculator_objects console_io console_program calculator)
set(calculator_hardened_linked calculator_shared calculator)

function(calculator_harden_targets)
  foreach(target IN LISTS calculator_hardened_compiled)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE ${calculator_hardening_compile_options})
      set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
      # Whatever links these objects, a test program too, needs MinGW's
      # stack protector run-time.
      if(WIN32 AND CALCULATOR_HAVE_STACK_PROTECTOR_STRONG)
        target_link_options(${target} INTERFACE -fstack-protector-strong)
      endif()
    endif()
  endforeach()
  foreach(target IN LISTS calculator_hardened_linked)
    if(TARGET ${target})
      target_link_options(${target} PRIVATE ${calculator_hardening_link_options})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL calculator_harden_targets)
