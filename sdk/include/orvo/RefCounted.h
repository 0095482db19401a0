// Reference counting for an object handed across the template interface, for templates
// and the program alike.
#pragma once

#include "IUnknown.h"

#include <cstdint>

namespace orvo {

// Implements IUnknown for one interface: no other interface is offered, the object starts
// with the one reference its creator holds, and the last Release deletes it.
template <class Interface> class RefCounted : public Interface {
public:
    std::int32_t QueryInterface(const OrvoGuid&, void** object) override {
        if (object)
            *object = nullptr;
        return ORVO_E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs_; }
    std::uint32_t Release() override {
        const std::uint32_t left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

protected:
    RefCounted() = default;
    // Virtual so that Release ends the most derived object; it sits after the interface's
    // slots in the vtable and the program never calls it.
    virtual ~RefCounted() = default;

private:
    std::uint32_t refs_ = 1;
};

} // namespace orvo
