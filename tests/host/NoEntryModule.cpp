// A loadable module that is not a filter: it exports no GetFilterTable.
#include "plugin/AviUtlPlugin.h"

extern "C" AVIUTL_EXPORT int AVIUTL_CDECL SomethingElse() { return 1; }
