#pragma once
// Types whose objects may be moved by copying their bytes (no self-pointers, no registrations).
// Containers use it to move items with one memmove; extend it by specialisation next to the type.

#include <type_traits>

template <class T>
struct IsBytewiseRelocatable : std::is_trivially_copyable<T> {};
