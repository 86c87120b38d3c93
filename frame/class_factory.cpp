#include "frame/class_factory.h"

#include "frame/com.h"

#include <new>

namespace gn {
namespace {

class class_factory final : public IClassFactory {
public:
    explicit class_factory(creator_fn creator) noexcept : creator_(creator) {}
    class_factory(const class_factory&) = delete;
    class_factory& operator=(const class_factory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
            return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        RETURN_HR_IF(E_POINTER, !ppv);
        *ppv = nullptr;
        RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer && !IsEqualIID(riid, IID_IUnknown));
        return creator_(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            _Module.Lock();
        else
            _Module.Unlock();
        return S_OK;
    }

private:
    ~class_factory() = default;

    volatile LONG refs_ = 0;
    critical_section lock_;  // serialises nothing today; kept with the object
    creator_fn creator_;
};

}  // namespace

HRESULT create_class_factory(creator_fn instance_creator, REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto* factory = new (std::nothrow) class_factory(instance_creator);
    RETURN_IF_NULL_ALLOC(factory);
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

}  // namespace gn
