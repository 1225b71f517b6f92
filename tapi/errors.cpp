#include "tapi/errors.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/module.h"

namespace zvtapi {

namespace {

// Blanks and control characters around a message-table text (tables end their texts with a
// line break).
std::u16string TrimControls(const std::u16string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && text[first] <= u' ')
    ++first;
  while (last > first && text[last - 1] <= u' ')
    --last;
  return text.substr(first, last - first);
}

}  // namespace

std::string Format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, pattern, copy);
  va_end(copy);
  std::string result;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), pattern, args);
    result.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  return result;
}

EzvTapiError EzvTapiError::CreateCode(Cardinal code, const std::string& msg) {
  return EzvTapiError(code, msg.empty() ? TapiErrorText(code) : msg);
}

bool IsTapiError(Cardinal code) {
  return static_cast<int32_t>(code) < 0;
}

void RaiseTapiError(Cardinal code) {
  throw EzvTapiError::CreateCode(code);
}

Cardinal CheckTapiResult(Cardinal code) {
  if (IsTapiError(code)) RaiseTapiError(code);
  return code;
}

void RaiseError(const std::string& msg) {
  throw Exception(msg);
}

void CheckCondition(bool condition, const std::string& msg) {
  if (!condition) RaiseError(msg);
}

void AssertionFailed(const char* text, int line) {
  throw EAssertionFailed(Format("%s (%s, Zeile %d)", text, "zvTAPI", line));
}

Cardinal TapiErrorMessageID(Cardinal code) {
  if (code > 0xFFFF0000u) return code & 0xFFFFu;                // TAPIERR_* (-1 ... -65535)
  if (code & 0x10000000u) return code - 0x90000000u + 0xF000u;  // PHONEERR_*
  return code - 0x80000000u + 0xE000u;                          // LINEERR_*
}

std::string LoadModuleMessage(const std::string& moduleName, Cardinal messageID) {
  std::string result;
  // No error box may appear while a message module is loaded.
  const uint32_t oldMode =
      platform::SetErrorMode(platform::SEM_FAILCRITICALERRORS | platform::SEM_NOOPENFILEERRORBOX);
  if (const platform::HMODULE module = platform::LoadLibrary(moduleName)) {
    if (auto text = platform::FormatModuleMessage(module, messageID)) {
      result = platform::WideToUtf8(TrimControls(*text));
    }
    platform::FreeLibrary(module);
  }
  platform::SetErrorMode(oldMode);
  return result;
}

std::string TapiErrorText(Cardinal code) {
  if (!IsTapiError(code)) return platform::SystemErrorText(0);
  std::string result = LoadModuleMessage("TAPI32.DLL", TapiErrorMessageID(code));
  if (result.empty()) result = LoadModuleMessage("TAPIUI.DLL", TapiErrorMessageID(code));
  if (result.empty()) result = Format("TAPI-Error 0x%X", code);
  return result;
}

}  // namespace zvtapi
