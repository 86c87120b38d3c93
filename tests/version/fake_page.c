/* A web page as a container shows it to the objects on it: its document
 * (IHTMLDocument2, reached through IOleContainer) and its browser
 * (IWebBrowser2). Written in C so that only the members the module calls
 * need a body: every other slot of those large tables stays empty. */
#define COBJMACROS
#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>

#include <stddef.h>

#include "fake_page.h"

typedef struct fake_page {
    IHTMLDocument2 document;
    IOleContainer container;
    IWebBrowser2 browser;
    LONG refs;
    BSTR url;
} fake_page;

#define PAGE_OF(iface, field) ((fake_page*)((char*)(iface) - offsetof(fake_page, field)))

static HRESULT page_query(fake_page* page, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = NULL;
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) ||
        IsEqualIID(riid, &IID_IHTMLDocument) || IsEqualIID(riid, &IID_IHTMLDocument2))
        *ppv = &page->document;
    else if (IsEqualIID(riid, &IID_IOleContainer) || IsEqualIID(riid, &IID_IParseDisplayName))
        *ppv = &page->container;
    else if (IsEqualIID(riid, &IID_IWebBrowser2) || IsEqualIID(riid, &IID_IWebBrowserApp) ||
             IsEqualIID(riid, &IID_IWebBrowser))
        *ppv = &page->browser;
    else
        return E_NOINTERFACE;
    InterlockedIncrement(&page->refs);
    return S_OK;
}

static ULONG page_release(fake_page* page) {
    const LONG left = InterlockedDecrement(&page->refs);
    if (left == 0) {
        SysFreeString(page->url);
        HeapFree(GetProcessHeap(), 0, page);
    }
    return (ULONG)left;
}

static HRESULT url_copy(fake_page* page, BSTR* out) {
    if (!out) return E_POINTER;
    *out = page->url ? SysAllocStringLen(page->url, SysStringLen(page->url)) : NULL;
    return S_OK;
}

static HRESULT WINAPI doc_query(IHTMLDocument2* This, REFIID riid, void** ppv) {
    return page_query(PAGE_OF(This, document), riid, ppv);
}
static ULONG WINAPI doc_addref(IHTMLDocument2* This) {
    return (ULONG)InterlockedIncrement(&PAGE_OF(This, document)->refs);
}
static ULONG WINAPI doc_release(IHTMLDocument2* This) { return page_release(PAGE_OF(This, document)); }
static HRESULT WINAPI doc_get_url(IHTMLDocument2* This, BSTR* p) {
    return url_copy(PAGE_OF(This, document), p);
}

static HRESULT WINAPI box_query(IOleContainer* This, REFIID riid, void** ppv) {
    return page_query(PAGE_OF(This, container), riid, ppv);
}
static ULONG WINAPI box_addref(IOleContainer* This) {
    return (ULONG)InterlockedIncrement(&PAGE_OF(This, container)->refs);
}
static ULONG WINAPI box_release(IOleContainer* This) { return page_release(PAGE_OF(This, container)); }

static HRESULT WINAPI web_query(IWebBrowser2* This, REFIID riid, void** ppv) {
    return page_query(PAGE_OF(This, browser), riid, ppv);
}
static ULONG WINAPI web_addref(IWebBrowser2* This) {
    return (ULONG)InterlockedIncrement(&PAGE_OF(This, browser)->refs);
}
static ULONG WINAPI web_release(IWebBrowser2* This) { return page_release(PAGE_OF(This, browser)); }
static HRESULT WINAPI web_get_location(IWebBrowser2* This, BSTR* p) {
    return url_copy(PAGE_OF(This, browser), p);
}

static IHTMLDocument2Vtbl document_table = {
    .QueryInterface = doc_query, .AddRef = doc_addref, .Release = doc_release,
    .get_URL = doc_get_url,
};
static IOleContainerVtbl container_table = {
    .QueryInterface = box_query, .AddRef = box_addref, .Release = box_release,
};
static IWebBrowser2Vtbl browser_table = {
    .QueryInterface = web_query, .AddRef = web_addref, .Release = web_release,
    .get_LocationURL = web_get_location,
};

IUnknown* fake_page_create(const wchar_t* url) {
    fake_page* page = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *page);
    if (!page) return NULL;
    page->document.lpVtbl = &document_table;
    page->container.lpVtbl = &container_table;
    page->browser.lpVtbl = &browser_table;
    page->refs = 1;
    page->url = url ? SysAllocString(url) : NULL;
    return (IUnknown*)&page->document;
}
