// Reference counting as COM defines it, for every object this platform hands
// out (the GL Direct3D 8, its resources, DirectInput 8) and for the test
// doubles standing in for them.
#pragma once

#include "win32.h"

namespace platform_linux {

// Starts at one, the creator's reference. A drop with no reference left
// changes nothing: a program's extra Release must not wrap the count round.
class ReferenceCount {
public:
    ULONG add() { return ++count_; }
    // False when there was no reference left to drop.
    bool drop(ULONG& left) {
        if (count_ == 0) {
            left = 0;
            return false;
        }
        left = --count_;
        return true;
    }
    ULONG count() const { return count_; }

private:
    ULONG count_ = 1;
};

// AddRef and Release of a COM-style interface; the last Release calls
// lastReferenceReleased, which deletes the object unless a derived class
// says otherwise.
template <class Interface>
class ComObject : public Interface {
public:
    ULONG AddRef() override { return references_.add(); }
    ULONG Release() override {
        ULONG left = 0;
        if (references_.drop(left) && left == 0) lastReferenceReleased();
        return left;
    }

protected:
    ComObject() = default;
    virtual void lastReferenceReleased() { delete this; }
    ULONG references() const { return references_.count(); }

private:
    ReferenceCount references_;
};

}  // namespace platform_linux
