// Modules with message tables, the process error mode and single-byte code pages: the small
// part of the loader and of the text services the library uses.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

using HMODULE = uintptr_t;  // 0 is never a valid module

inline constexpr uint32_t SEM_FAILCRITICALERRORS = 0x0001;
inline constexpr uint32_t SEM_NOOPENFILEERRORBOX = 0x8000;

// Sets the process error mode and returns the previous one.
uint32_t SetErrorMode(uint32_t mode);

// A message table answers a message number with its text, or nothing.
using MessageTable = std::function<std::optional<std::u16string>(uint32_t messageId)>;

// Makes a module with a message table loadable by name (letter case ignored). Modules register
// themselves when the program starts.
void RegisterModule(const std::string& name, MessageTable table);

// Loads a registered module; 0 when there is none by that name.
HMODULE LoadLibrary(const std::string& name);
bool FreeLibrary(HMODULE module);

// The text of a message in the module's table, without inserts or line breaks; nothing when the
// module or the message does not exist.
std::optional<std::u16string> FormatModuleMessage(HMODULE module, uint32_t messageId);

// The operating system's text for a system error number (0 is success).
std::string SystemErrorText(uint32_t errorCode);

// Full path of the running program, at most 260 characters.
std::string GetModuleFileName();

// Text conversions. The OEM and ANSI code pages are Latin-1 here: one byte, one character.
std::u16string OemToWide(const char* bytes, size_t count);
std::u16string AnsiToWide(const char* bytes, size_t count);
std::string WideToUtf8(std::u16string_view text);
std::u16string Utf8ToWide(std::string_view text);

}  // namespace platform
