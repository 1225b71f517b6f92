// What the fuzz targets of the configuration-file readers share: a check that stops the fuzzer
// on the spot, and the first rule every such reader keeps: it takes the text, or refuses it
// with its own error that names the file and a line of it, and throws nothing else.
#pragma once

#include <optional>
#include <string>

namespace fuzz {

inline void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// What parse(text, fileName) gives, or nothing when the reader refused the text with an `Error`
// that names the file. Any other exception reaches libFuzzer, which reports it as a crash.
template <typename Error, typename Parse>
auto ParseOrRefuse(Parse parse, const std::string& text, const std::string& fileName)
    -> std::optional<decltype(parse(text, fileName))> {
  try {
    return parse(text, fileName);
  } catch (const Error& error) {
    Check(std::string(error.what()).starts_with(fileName + ":"));
    return std::nullopt;
  }
}

}  // namespace fuzz
