// The toolkit's string list: ordered entries with a 32-bit object slot each, name=value lookup,
// letter case ignored when searching.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zvtapi {

class TStringList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Strings(int index) const;  // raises "List index out of bounds (%d)"
  void SetStrings(int index, const std::string& value);
  uint32_t Objects(int index) const;
  void SetObjects(int index, uint32_t value);

  int Add(const std::string& value, uint32_t object = 0);
  void Delete(int index);
  void Clear() { FItems.clear(); }
  // Position of the first entry equal to value, letter case ignored; -1 when none.
  int IndexOf(const std::string& value) const;
  // Position of the first entry "name=..." whose name equals name, letter case ignored.
  int IndexOfName(const std::string& name) const;
  // The text after "name=" of that entry, or empty.
  std::string Values(const std::string& name) const;
  // Entries joined with line breaks, as the toolkit's Text property.
  std::string Text() const;

  bool operator==(const TStringList& other) const = default;

 private:
  struct Item {
    std::string text;
    uint32_t object = 0;
    bool operator==(const Item&) const = default;
  };
  void CheckIndex(int index) const;
  std::vector<Item> FItems;
};

// Equal texts, ASCII letter case ignored.
bool SameText(const std::string& a, const std::string& b);

}  // namespace zvtapi
