#include "tapi32ui/tapi_query.h"

#include <algorithm>
#include <cstring>

#include "platform/module.h"
#include "tapi32/tapi.h"

namespace tapi32ui {

namespace {

// The fields every variable-size structure starts with.
struct Header {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
};

// TAPI32.DLL's messages for LINEERR_ codes are numbered from 0xE000.
constexpr uint32_t kLineErrorMessageBase = 0xE000;

}  // namespace

LineSession::LineSession() {
  LINEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  DWORD devices = 0;
  DWORD version = 0x00020002;
  result_ =
      lineInitializeExW(&handle_, 0, nullptr, u"Telephony dialogs", &devices, &version, &params);
  if (result_ != 0) handle_ = 0;
}

LineSession::~LineSession() {
  if (handle_ != 0) lineShutdown(handle_);
}

Answer Answer::Query(DWORD initialSize, const std::function<LONG(void* buffer)>& query) {
  Answer answer;
  DWORD size = std::max<DWORD>(initialSize, sizeof(Header));
  for (;;) {
    answer.words_.assign((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    auto* header = reinterpret_cast<Header*>(answer.words_.data());
    header->dwTotalSize = size;
    answer.result_ = query(answer.words_.data());
    const bool tooSmall =
        answer.result_ == 0 || answer.result_ == tapi32::Err(LINEERR_STRUCTURETOOSMALL);
    // A provider that keeps asking for less than it had would loop for ever: only growth retries.
    if (!tooSmall || header->dwNeededSize <= size) break;
    size = header->dwNeededSize;
  }
  return answer;
}

std::u16string Answer::Field(DWORD size, DWORD offset) const {
  const auto& header = As<Header>();
  const uint64_t end = uint64_t{offset} + size;
  const uint64_t written = std::min<uint64_t>(header.dwUsedSize, words_.size() * sizeof(DWORD));
  if (size < sizeof(char16_t) || offset < sizeof(Header) || end > written) return {};
  std::u16string text(size / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), reinterpret_cast<const uint8_t*>(words_.data()) + offset,
              text.size() * sizeof(char16_t));
  return text;
}

QString Answer::Text(DWORD size, DWORD offset) const {
  const std::u16string field = Field(size, offset);
  // The text ends at its first NUL, or with the field when the provider wrote none.
  return QString::fromStdU16String(field.substr(0, field.find(u'\0')));
}

QStringList Answer::Texts(DWORD size, DWORD offset) const {
  QStringList texts;
  const std::u16string field = Field(size, offset);
  size_t start = 0;
  while (start < field.size()) {
    const size_t end = std::min(field.find(u'\0', start), field.size());
    if (end == start) break;  // the empty text that ends the list
    texts << QString::fromStdU16String(field.substr(start, end - start));
    start = end + 1;
  }
  return texts;
}

QString LineErrorText(LONG code) {
  const auto value = static_cast<uint32_t>(code);
  const platform::HMODULE module = platform::LoadLibrary("TAPI32.DLL");
  std::optional<std::u16string> text;
  if (module != 0) {
    text = platform::FormatModuleMessage(module, kLineErrorMessageBase + (value & 0xFFF));
    platform::FreeLibrary(module);
  }
  if (text) return QString::fromStdU16String(*text);
  return QStringLiteral("TAPI error 0x%1").arg(QString::number(value, 16).toUpper());
}

}  // namespace tapi32ui
