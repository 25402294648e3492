// The resource overrides of platform/winapi/resources_internal.h for the
// Windows build: FindResourceA, LoadResource, LockResource and SizeofResource
// of the program's module find the bytes given here first
// (tests/win32/gdi_hooks.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace platform {

// Makes resource `id` of type `typeName` (an integer type such as RT_BITMAP)
// hold a copy of `bytes`.
void OverrideResourceForTests(const char* typeName, WORD id, const std::vector<uint8_t>* bytes);
void ClearResourceOverridesForTests();

}  // namespace platform
