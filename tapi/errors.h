// The library's failure vocabulary: EzvTapiError for TAPI result codes, plain exceptions for
// failed preconditions, the library assertion, and the texts of TAPI error codes.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "tapi/types.h"

namespace zvtapi {

// Base of every exception the library raises: a message, like the toolkit's exception class.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// A TAPI function failed; ErrorCode is its negative result as an unsigned value.
class EzvTapiError : public Exception {
 public:
  // Message is Msg when given, otherwise the platform's text for Code.
  static EzvTapiError CreateCode(Cardinal code, const std::string& msg = {});
  Cardinal ErrorCode() const { return FErrorCode; }

 private:
  EzvTapiError(Cardinal code, std::string message)
      : Exception(std::move(message)), FErrorCode(code) {}
  Cardinal FErrorCode;
};

// An internal precondition of the library failed.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

bool IsTapiError(Cardinal code);
[[noreturn]] void RaiseTapiError(Cardinal code);
// Raises EzvTapiError for a negative result, otherwise returns it (request IDs pass through).
Cardinal CheckTapiResult(Cardinal code);
[[noreturn]] void RaiseError(const std::string& msg);
void CheckCondition(bool condition, const std::string& msg);

std::string TapiErrorText(Cardinal code);
Cardinal TapiErrorMessageID(Cardinal code);
std::string LoadModuleMessage(const std::string& moduleName, Cardinal messageID);

// Raises EAssertionFailed with "<text> (zvTAPI, Zeile <line>)"; the default text is the
// toolkit's "Assertion fehlgeschlagen".
[[noreturn]] void AssertionFailed(const char* text, int line);

// printf-style formatting into a std::string. Texts that show hexadecimal use %X: upper case
// without leading zeros.
std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zvtapi

#define ZV_ASSERT(condition)                                                           \
  do {                                                                                 \
    if (!(condition)) ::zvtapi::AssertionFailed("Assertion fehlgeschlagen", __LINE__); \
  } while (0)
#define ZV_ASSERT_MSG(condition, text)                             \
  do {                                                             \
    if (!(condition)) ::zvtapi::AssertionFailed((text), __LINE__); \
  } while (0)
