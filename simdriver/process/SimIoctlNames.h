// The names of the driver's request codes (IOCTL_DRAVIK_* without the
// prefix), for the dump's journal and for commands that name a code.
//
// Threading: pure functions over a constant table.
//
//   simIoctlName(0x808820D0)  // "GET_STREAM_STATE"
#pragma once

#include <cstdint>
#include <string>

// The name, or null for a code the protocol does not have.
const char* simIoctlName(uint32_t code);
// A code from its name (with or without the IOCTL_DRAVIK_ prefix, any case)
// or a number (decimal or 0x-hexadecimal). False when it is neither.
bool simParseIoctl(const std::string& text, uint32_t& code);
