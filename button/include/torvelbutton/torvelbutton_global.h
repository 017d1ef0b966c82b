#pragma once

/// @file
/// Export macro of the TorvelButton library.

#include <QtCore/qglobal.h>

/// @def TORVELBUTTON_EXPORT
/// Marks the classes and functions the shared library exports. The library
/// builds with hidden symbols by default, so only what carries this mark is
/// reachable from a program.
#if defined(TORVELBUTTON_STATIC)
#define TORVELBUTTON_EXPORT
#elif defined(TORVELBUTTON_LIBRARY)
#define TORVELBUTTON_EXPORT Q_DECL_EXPORT
#else
#define TORVELBUTTON_EXPORT Q_DECL_IMPORT
#endif
