#include "tapi/string_list.h"

#include "tapi/errors.h"

namespace zvtapi {

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 0x20;
    if (y >= 'A' && y <= 'Z') y += 0x20;
    if (x != y) return false;
  }
  return true;
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) RaiseError(Format("List index out of bounds (%d)", index));
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)].text;
}

void TStringList::SetStrings(int index, const std::string& value) {
  CheckIndex(index);
  FItems[static_cast<size_t>(index)].text = value;
}

uint32_t TStringList::Objects(int index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)].object;
}

void TStringList::SetObjects(int index, uint32_t value) {
  CheckIndex(index);
  FItems[static_cast<size_t>(index)].object = value;
}

int TStringList::Add(const std::string& value, uint32_t object) {
  FItems.push_back({value, object});
  return Count() - 1;
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  FItems.erase(FItems.begin() + index);
}

int TStringList::IndexOf(const std::string& value) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(FItems[static_cast<size_t>(i)].text, value)) return i;
  }
  return -1;
}

int TStringList::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& text = FItems[static_cast<size_t>(i)].text;
    const size_t eq = text.find('=');
    if (eq != std::string::npos && SameText(text.substr(0, eq), name)) return i;
  }
  return -1;
}

std::string TStringList::Values(const std::string& name) const {
  const int index = IndexOfName(name);
  if (index < 0) return {};
  const std::string& text = FItems[static_cast<size_t>(index)].text;
  return text.substr(text.find('=') + 1);
}

std::string TStringList::Text() const {
  std::string result;
  for (const Item& item : FItems) {
    result += item.text;
    result += '\n';
  }
  return result;
}

}  // namespace zvtapi
