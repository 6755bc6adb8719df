#include "core/version.h"

#ifndef QX_VERSION
#define QX_VERSION "0.1.0"
#endif

const char* const quarnix_version = QX_VERSION;
