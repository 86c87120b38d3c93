#include "frame/class_factory.h"

#include "frame/object.h"

namespace gn {
namespace {

// Cached in the class table until termination, so it holds no module lock.
class class_factory final : public implements<class_factory, no_lock, IClassFactory> {
public:
    explicit class_factory(creator_fn creator) noexcept : creator_(creator) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        RETURN_HR_IF(E_POINTER, !ppv);
        *ppv = nullptr;
        RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer && !IsEqualIID(riid, IID_IUnknown));
        return creator_(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            _Module.lock();
        else
            _Module.unlock();
        return S_OK;
    }

private:
    creator_fn creator_;
};

}  // namespace

HRESULT create_class_factory(creator_fn instance_creator, REFIID riid, void** ppv) noexcept {
    return create_instance<class_factory>(nullptr, riid, ppv, instance_creator);
}

}  // namespace gn
