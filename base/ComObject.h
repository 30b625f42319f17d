#pragma once
#include <windows.h>
#include <unknwn.h>

#include <new>
#include <utility>

#include "base/Module.h"

// How a class takes part in the module object count: at construction and
// destruction, at every AddRef and Release, or both.
enum CountPolicy : unsigned { kCountLife = 1, kCountReferences = 2, kCountBoth = 3 };

// One row of a QueryInterface table: an interface id and how to reach that face.
template <class Object>
struct InterfaceRow {
    const IID* iid;
    IUnknown* (*face)(Object*);
};

template <class Object, class Face>
IUnknown* FaceOf(Object* object) {
    return static_cast<Face*>(object);
}

// IUnknown written once. `Object` lists its faces in a static `kInterfaces`
// table; the reference count starts at 0 and Release to zero deletes.
template <class Object, unsigned Policy, class... Interfaces>
class ComObject : public Interfaces... {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        for (const auto& row : Object::kInterfaces) {
            if (IsEqualIID(riid, *row.iid)) {
                IUnknown* face = row.face(static_cast<Object*>(this));
                face->AddRef();
                *ppv = face;
                return S_OK;
            }
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    STDMETHODIMP_(ULONG) AddRef() override {
        if (Policy & kCountReferences) ModuleObjectUp();
        return ULONG(InterlockedIncrement(&references_));
    }

    STDMETHODIMP_(ULONG) Release() override {
        if (Policy & kCountReferences) ModuleObjectDown();
        ULONG left = ULONG(InterlockedDecrement(&references_));
        if (left == 0) delete this;
        return left;
    }

    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    ComObject() {
        if (Policy & kCountLife) ModuleObjectUp();
    }
    virtual ~ComObject() {
        if (Policy & kCountLife) ModuleObjectDown();
    }

private:
    volatile LONG references_ = 0;
};

// Hands out a freshly made object the way every creator here does: AddRef,
// QueryInterface, Release, so a refused interface frees the object again.
template <class Object>
HRESULT HandOut(Object* object, REFIID riid, void** ppv) {
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// Owns one COM reference.
template <class T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* adopted) : ptr_(adopted) {}
    ComRef(const ComRef& other) : ptr_(other.ptr_) {
        if (ptr_) ptr_->AddRef();
    }
    ComRef(ComRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ~ComRef() { Reset(); }
    ComRef& operator=(ComRef other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }

    // Takes a new reference on `ptr`.
    static ComRef Share(T* ptr) {
        if (ptr) ptr->AddRef();
        return ComRef(ptr);
    }

    void Reset() {
        if (ptr_) std::exchange(ptr_, nullptr)->Release();
    }
    T** Put() {
        Reset();
        return &ptr_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() { return std::exchange(ptr_, nullptr); }
    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    T* ptr_ = nullptr;
};
