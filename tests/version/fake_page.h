/* A web page's document and browser objects for the site lock tests. */
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A page object answering IHTMLDocument2 (get_URL), IOleContainer and
 * IWebBrowser2 (get_LocationURL), both giving url (null: no URL). One
 * reference, released by the caller; null when out of memory. */
IUnknown* fake_page_create(const wchar_t* url);

#ifdef __cplusplus
}
#endif
