// The module's static objects, in the order they are constructed before
// process attach (and destroyed, in reverse, after process detach).
#include "frame/log.h"
#include "frame/translation.h"
#include "launcher/download/temp_file.h"

DiagnosticLog g_log;
TranslationTable g_translation;
gn::critical_section tempFileLock;
