#include "tapi/location.h"

#include <cstddef>

#include "tapi/application.h"
#include "tapi/errors.h"
#include "tapi/location_structs.h"

namespace zvtapi {

namespace {

constexpr Cardinal kTranslateCapsInitialSize = 1044;
constexpr Cardinal kCountryListInitialSize = 2024;

// The rules TAPI's own dialog starts a new country with: the number alone in the same area, a
// trunk prefix 0 before area and number, and 00 before an international number.
constexpr const char* kDefaultSameAreaRule = "G";
constexpr const char* kDefaultLongDistanceRule = "0FG";
constexpr const char* kDefaultInternationalRule = "00EFG";

// The versions a refused fetch steps down through; 1.3 is the last.
Cardinal LowerLocationAPIVersion(Cardinal version) {
  switch (version) {
    case 0x00020002:
      return 0x00020000;
    case 0x00020000:
      return 0x00010004;
    case 0x00010004:
      return 0x00010003;
    default:
      return 0;
  }
}

Cardinal CurrentLineAppl() {
  return zvTapiApplication != nullptr ? zvTapiApplication->LineApp() : 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TzvTapiLocation

void TzvTapiLocation::Clear() {
  FCountryID = 0;
  FLocationName.clear();
  FCountryCode.clear();
  FCityCode.clear();
  FLocalAccessCode.clear();
  FLongDistanceAccessCode.clear();
  FCountryName.clear();
  FSameAreaRule.clear();
  FLongDistanceRule.clear();
  FInternationalRule.clear();
  FAvailable = false;
  FInitError = 0;
}

void TzvTapiLocation::Update() {
  CheckTapiResult(UpdateData());
}

void TzvTapiLocation::GetValues(TStringList& ValueList) const {
  ValueList.Clear();
  auto add = [&](const char* name, const std::string& value) {
    if (!value.empty()) ValueList.Add(std::string(name) + "=" + value);
  };
  add("LocationID", std::to_string(FLocationID));
  add("LocationName", FLocationName);
  add("CountryCode", FCountryCode);
  add("CityCode", FCityCode);
  add("CountryName", FCountryName);
  add("LocalAccessCode", FLocalAccessCode);
  add("LongDistanceAccessCode", FLongDistanceAccessCode);
  add("SameAreaRule", FSameAreaRule);
  add("LongDistanceRule", FLongDistanceRule);
  add("InternationalRule", FInternationalRule);
}

void TzvTapiLocation::AssignLocation(const TzvTapiLocation* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  FLocationID = Source->FLocationID;
  FCountryID = Source->FCountryID;
  FLocationName = Source->FLocationName;
  FCityCode = Source->FCityCode;
  FLocalAccessCode = Source->FLocalAccessCode;
  FLongDistanceAccessCode = Source->FLongDistanceAccessCode;
  FCountryName = Source->FCountryName;
  FCountryCode = Source->FCountryCode;
  FSameAreaRule = Source->FSameAreaRule;
  FLongDistanceRule = Source->FLongDistanceRule;
  FInternationalRule = Source->FInternationalRule;
  FAvailable = true;
}

void TzvTapiLocation::AssignLINELOCATIONENTRY(const TTapiStruct* TranslateCaps, Cardinal Index,
                                              Cardinal APIVersion) {
  const std::optional<TLocationEntry> entry =
      TranslateCaps != nullptr ? ReadLocationEntry(*TranslateCaps, Index, APIVersion)
                               : std::nullopt;
  if (!entry) {
    Clear();
    return;
  }
  FLocationID = entry->PermanentLocationID;
  FCountryID = entry->CountryID;
  FLocationName = entry->LocationName;
  FCityCode = entry->CityCode;
  FLocalAccessCode = entry->LocalAccessCode;
  FLongDistanceAccessCode = entry->LongDistanceAccessCode;
  FAvailable = true;
  // The entry's own country code is not used: the country list has it, with the name and rules.
  UpdateCountry();
}

Cardinal TzvTapiLocation::UpdateCountry() {
  FCountryCode.clear();
  FCountryName.clear();
  FSameAreaRule = kDefaultSameAreaRule;
  FLongDistanceRule = kDefaultLongDistanceRule;
  FInternationalRule = kDefaultInternationalRule;
  if (FCountryID == 0) return 0;

  TTapiStruct buffer = AllocTapiStruct(kCountryListInitialSize);
  const Cardinal result = FetchTapiStruct(buffer, [this](void* structure) {
    return lineGetCountryW(FCountryID, LocationAPIVersion,
                           static_cast<LPLINECOUNTRYLIST>(structure));
  });
  if (IsTapiError(result)) return result;
  // Nothing past what TAPI says it used is part of the answer.
  CompactTapiStruct(buffer, TapiStructHeaderSize);
  if (const std::optional<TCountryEntry> country = ReadFirstCountryEntry(buffer)) {
    FCountryCode = std::to_string(country->CountryCode);
    FCountryName = country->CountryName;
    FSameAreaRule = country->SameAreaRule;
    FLongDistanceRule = country->LongDistanceRule;
    FInternationalRule = country->InternationalRule;
  }
  return result;
}

Cardinal TzvTapiLocation::UpdateData() {
  Clear();
  const TzvTapiLocationList list;
  if (!list.Available()) return list.InitError();
  const int index = list.IndexOfID(FLocationID);
  if (index < 0) return LINEERR_OPERATIONFAILED;
  AssignLocation(list.Get(index));
  FAvailable = true;
  return 0;
}

Cardinal TzvTapiLocation::ReadCurrentLocationID(Cardinal& LocationID) {
  TTapiStruct buffer = AllocTapiStruct(kTranslateCapsInitialSize);
  // No application handle: TAPI answers this before and without an initialisation.
  const Cardinal result = FetchTapiStruct(buffer, [](void* structure) {
    return lineGetTranslateCapsW(0, LocationAPIVersion,
                                 static_cast<LPLINETRANSLATECAPS>(structure));
  });
  if (result == 0) {
    CompactTapiStruct(buffer, TapiStructHeaderSize);
    LocationID = buffer.GetDWORD(offsetof(::LINETRANSLATECAPS, dwCurrentLocationID));
  }
  return result;
}

bool TzvTapiLocation::LoadCurrent() {
  if (ReadCurrentLocationID(FLocationID) != 0) return false;
  Update();
  return Available();
}

// ---------------------------------------------------------------------------------------------
// TzvTapiSystemLocation

Cardinal TzvTapiSystemLocation::UpdateData() {
  const Cardinal result = ReadCurrentLocationID(FLocationID);
  if (result != 0) return result;
  return TzvTapiLocation::UpdateData();
}

void TzvTapiSystemLocation::SetLocationID(Cardinal Value) {
  CheckTapiResult(static_cast<Cardinal>(lineSetCurrentLocation(CurrentLineAppl(), Value)));
  Update();
}

// ---------------------------------------------------------------------------------------------
// TzvTapiLocationList

TzvTapiLocationList::TzvTapiLocationList() : FLineAppl(CurrentLineAppl()) {
  UpdateData();
}

TzvTapiLocationList::~TzvTapiLocationList() {
  TzvTapiLocationList::Clear();
}

void TzvTapiLocationList::Clear() {
  FAvailable = false;
  FTRANSLATECAPS.Free();
  FItems.clear();
}

Cardinal TzvTapiLocationList::Init(Cardinal LineAppl, Cardinal APIVersion) {
  FLineAppl = LineAppl;
  FAPIVersion = APIVersion;
  return UpdateData();
}

Cardinal TzvTapiLocationList::UpdateData() {
  FAvailable = false;
  if (!FTRANSLATECAPS) FTRANSLATECAPS = AllocTapiStruct(kTranslateCapsInitialSize);
  Cardinal result;
  for (;;) {
    result = FetchTapiStruct(FTRANSLATECAPS, [this](void* structure) {
      return lineGetTranslateCapsW(FLineAppl, FAPIVersion,
                                   static_cast<LPLINETRANSLATECAPS>(structure));
    });
    if (result != LINEERR_INCOMPATIBLEAPIVERSION) break;
    const Cardinal lower = LowerLocationAPIVersion(FAPIVersion);
    if (lower == 0) break;
    FAPIVersion = lower;
  }
  FInitError = result;
  if (result != 0) return result;

  // Nothing past what TAPI says it used is part of the answer.
  CompactTapiStruct(FTRANSLATECAPS, TapiStructHeaderSize);
  const Cardinal count = FTRANSLATECAPS.GetDWORD(offsetof(::LINETRANSLATECAPS, dwNumLocations));
  // A provider may claim any count; no more entries can be read than the answer holds.
  const Cardinal readable = FTRANSLATECAPS.Limit() / LocationEntrySize(FAPIVersion);
  const size_t wanted = count < readable ? count : readable;
  for (size_t i = 0; i < wanted; ++i) {
    if (i >= FItems.size()) FItems.push_back(std::make_unique<TzvTapiLocation>());
    FItems[i]->AssignLINELOCATIONENTRY(&FTRANSLATECAPS, static_cast<Cardinal>(i), FAPIVersion);
  }
  while (FItems.size() > wanted)
    FItems.pop_back();
  FAvailable = true;
  return 0;
}

void TzvTapiLocationList::Update() {
  CheckTapiResult(UpdateData());
}

int TzvTapiLocationList::IndexOf(const std::string& Value) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(FItems[static_cast<size_t>(i)]->LocationName(), Value)) return i;
  }
  return -1;
}

int TzvTapiLocationList::IndexOfID(Cardinal Value) const {
  for (int i = 0; i < Count(); ++i) {
    if (FItems[static_cast<size_t>(i)]->LocationID() == Value) return i;
  }
  return -1;
}

void TzvTapiLocationList::ShowDialog(HWND Wnd) {
  CheckTapiResult(
      static_cast<Cardinal>(lineTranslateDialogW(FLineAppl, 0, FAPIVersion, Wnd, nullptr)));
  Update();
}

void TzvTapiLocationList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
}

TzvTapiLocation* TzvTapiLocationList::Get(int Index) const {
  CheckIndex(Index);
  return FItems[static_cast<size_t>(Index)].get();
}

void TzvTapiLocationList::Put(int Index, std::unique_ptr<TzvTapiLocation> Item) {
  CheckIndex(Index);
  FItems[static_cast<size_t>(Index)] = std::move(Item);
}

int TzvTapiLocationList::Add(std::unique_ptr<TzvTapiLocation> Item) {
  FItems.push_back(std::move(Item));
  return Count() - 1;
}

Cardinal TzvTapiLocationList::CurrentLocationID() {
  if (!FAvailable) Update();
  if (!FAvailable) RaiseError("Unable to retrieve system location from TAPI");
  return FTRANSLATECAPS.GetDWORD(offsetof(::LINETRANSLATECAPS, dwCurrentLocationID));
}

TzvTapiLocation* TzvTapiLocationList::CurrentLocation() const {
  if (!FAvailable) return nullptr;
  const int index =
      IndexOfID(FTRANSLATECAPS.GetDWORD(offsetof(::LINETRANSLATECAPS, dwCurrentLocationID)));
  return index < 0 ? nullptr : FItems[static_cast<size_t>(index)].get();
}

}  // namespace zvtapi
