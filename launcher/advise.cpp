// The advise protocol with the main plugin.
#include "launcher/launcher.h"

STDMETHODIMP MorvaneLauncher::Advise(ILauncherEvent*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Navigate(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
    return E_NOTIMPL;
}
void MorvaneLauncher::NotifySink() {}
