// Choosing the client control and handing the document over to it.
#include "launcher/launcher.h"

int MorvaneLauncher::StartClient() {
    if (bClientStarted) return 0;
    bClientStarted = true;
    return -1;
}
