// Base of every interface that crosses the boundary between Trawlex and a site template.
//
// The layout is the Itanium C++ ABI's: an interface is a class holding only pure virtual
// methods, so its vtable is exactly its methods in declaration order, whatever compiler
// built each side. Interfaces therefore declare no virtual destructor (it would add two
// slots) and no other virtual member. Their destructors are protected: an object is only
// ever ended by its own Release.
//
// Rules shared by all interfaces of this kit:
// - Reference counting as COM does it: a method that returns an interface pointer hands
//   over a new reference, which the caller releases; a method that receives one and keeps
//   it calls AddRef itself. Null is a valid answer wherever a pointer is returned.
// - Texts are `const char16_t*`, zero-terminated UTF-16, owned by the object that returns
//   them and valid until that object's next call or its release; null reads as empty.
//   Texts passed in are owned by the caller and valid for the duration of the call.
// - Booleans are one byte, `OrvoBool` (0 false, any other value true); integers are
//   `int32_t`.
#pragma once

#include <cstdint>

using OrvoBool = std::uint8_t;

// An interface identifier in the usual 16-byte layout. No interface of this kit is looked
// up by identifier; QueryInterface exists for the slot layout and may always refuse.
struct OrvoGuid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

constexpr std::int32_t ORVO_S_OK = 0;
constexpr std::int32_t ORVO_E_NOINTERFACE = static_cast<std::int32_t>(0x80004002u);

struct IUnknown {
    // Slot 0. Sets *object to null and answers ORVO_E_NOINTERFACE when the interface is
    // not offered.
    virtual std::int32_t QueryInterface(const OrvoGuid& iid, void** object) = 0;
    // Slot 1. Answers the new count (for diagnostics only).
    virtual std::uint32_t AddRef() = 0;
    // Slot 2. The object ends itself when the count reaches 0.
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};
