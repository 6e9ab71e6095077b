// Included after <histedit.h> by the key editor alone: its calls of libedit
// go to the library that LoadLibedit loaded, under their usual names.
#pragma once

#include "console/input/libedit_posix.h"

#define el_init Libedit().el_init
#define el_end Libedit().el_end
#define el_set Libedit().el_set
#define el_wset Libedit().el_wset
#define el_get Libedit().el_get
#define el_source Libedit().el_source
#define el_resize Libedit().el_resize
#define el_beep Libedit().el_beep
#define el_cursor Libedit().el_cursor
#define el_deletestr Libedit().el_deletestr
#define el_winsertstr Libedit().el_winsertstr
#define el_wline Libedit().el_wline
#define el_wgets Libedit().el_wgets
#define el_wgetc Libedit().el_wgetc
#define el_wpush Libedit().el_wpush
#define history_winit Libedit().history_winit
#define history_wend Libedit().history_wend
#define history_w Libedit().history_w
