// The module's static objects, in the order they are constructed before
// process attach (and destroyed, in reverse, after process detach).
#include "frame/log.h"

DiagnosticLog g_log;

#include "frame/translation.h"
TranslationTable g_translation;
