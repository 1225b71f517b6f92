#include "platform/module.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace platform {
namespace {

std::atomic<uint32_t> gErrorMode{0};

struct Module {
  std::shared_ptr<const MessageTable> table;
  HMODULE handle = 0;  // 0 while not loaded
  uint32_t loadCount = 0;
};

struct Registry {
  std::mutex lock;
  std::map<std::string, Module> byName;  // lower-case names
  std::map<HMODULE, Module*> byHandle;   // loaded modules
  HMODULE nextHandle = 0x10000;
};

Registry& Modules() {
  static Registry registry;
  return registry;
}

std::string Lower(const std::string& name) {
  std::string result = name;
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

constexpr char16_t kReplacement = 0xFFFD;

}  // namespace

uint32_t SetErrorMode(uint32_t mode) {
  return gErrorMode.exchange(mode);
}

void RegisterModule(const std::string& name, MessageTable table) {
  Registry& r = Modules();
  std::lock_guard guard(r.lock);
  r.byName[Lower(name)].table = std::make_shared<const MessageTable>(std::move(table));
}

HMODULE LoadLibrary(const std::string& name) {
  Registry& r = Modules();
  std::lock_guard guard(r.lock);
  auto it = r.byName.find(Lower(name));
  if (it == r.byName.end()) return 0;
  Module& m = it->second;
  if (m.loadCount++ == 0) {
    // A fresh number for every load, so a handle kept after FreeLibrary stays invalid.
    m.handle = r.nextHandle++;
    r.byHandle[m.handle] = &m;
  }
  return m.handle;
}

bool FreeLibrary(HMODULE module) {
  Registry& r = Modules();
  std::lock_guard guard(r.lock);
  auto it = r.byHandle.find(module);
  if (it == r.byHandle.end()) return false;
  Module& m = *it->second;
  if (--m.loadCount == 0) {
    m.handle = 0;
    r.byHandle.erase(it);
  }
  return true;
}

std::optional<std::u16string> FormatModuleMessage(HMODULE module, uint32_t messageId) {
  std::shared_ptr<const MessageTable> table;
  {
    Registry& r = Modules();
    std::lock_guard guard(r.lock);
    auto it = r.byHandle.find(module);
    if (it == r.byHandle.end()) return std::nullopt;
    table = it->second->table;
  }
  if (!table || !*table) return std::nullopt;
  return (*table)(messageId);
}

std::string SystemErrorText(uint32_t errorCode) {
  // The texts the program can meet; anything else gets a generic text with its number.
  switch (errorCode) {
    case 0:
      return "The operation completed successfully.";
    case 1:
      return "Incorrect function.";
    case 2:
      return "The system cannot find the file specified.";
    case 3:
      return "The system cannot find the path specified.";
    case 5:
      return "Access is denied.";
    case 6:
      return "The handle is invalid.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 87:
      return "The parameter is incorrect.";
    case 126:
      return "The specified module could not be found.";
    case 1460:
      return "This operation returned because the timeout period expired.";
    default:
      return "System error " + std::to_string(errorCode) + ".";
  }
}

std::string GetModuleFileName() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0) return {};
  std::string path(buffer, static_cast<size_t>(n));
  if (path.size() > 260) path.resize(260);
  return path;
}

std::u16string OemToWide(const char* bytes, size_t count) {
  return AnsiToWide(bytes, count);
}

std::u16string AnsiToWide(const char* bytes, size_t count) {
  std::u16string result;
  if (bytes == nullptr) return result;
  result.resize(count);
  for (size_t i = 0; i < count; ++i) {
    result[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
  }
  return result;
}

std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;  // a surrogate without its partner
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToWide(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < n) {
    unsigned char b = byte(i);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    size_t length;
    uint32_t c;
    uint32_t minimum;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      c = b & 0x1F;
      minimum = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      c = b & 0x0F;
      minimum = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      c = b & 0x07;
      minimum = 0x10000;
    } else {
      out += kReplacement;  // stray continuation byte or a lead byte no valid text uses
      ++i;
      continue;
    }
    // Take continuation bytes while they last; a truncated or broken sequence becomes one
    // replacement character and decoding resumes at the first byte that did not fit.
    size_t k = 1;
    while (k < length && i + k < n && (byte(i + k) & 0xC0) == 0x80) {
      c = (c << 6) | (byte(i + k) & 0x3F);
      ++k;
    }
    if (k < length || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += kReplacement;
      i += k;
      continue;
    }
    i += length;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace platform
