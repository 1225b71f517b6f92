// The user's dialing locations as TAPI keeps them: one location (TzvTapiLocation), the system's
// current one (TzvTapiSystemLocation, which every line keeps as its Location), and the list of
// all of them (TzvTapiLocationList, from lineGetTranslateCapsW).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tapi/string_list.h"
#include "tapi/structures.h"
#include "tapi32/tapi.h"

namespace zvtapi {

// The API version locations and countries are asked for with; a location list that TAPI refuses
// it to steps down to older versions.
inline constexpr Cardinal LocationAPIVersion = 0x00020002;

class TzvTapiLocation : public TObject {
 public:
  TzvTapiLocation() = default;

  // Loads this location by its LocationID from a fresh list of all locations: 0, TAPI's error,
  // or LINEERR_OPERATIONFAILED when no location has that ID any more (the location stays
  // cleared then).
  virtual Cardinal UpdateData();
  // Fills the country fields from lineGetCountryW; without a country, or when TAPI cannot say,
  // the country code and name stay empty and the rules are the usual "G", "0FG", "00EFG".
  virtual Cardinal UpdateCountry();
  // UpdateData, raising EzvTapiError for a TAPI error.
  virtual void Update();

  // Empties everything but LocationID.
  void Clear();
  // Clears ValueList, then adds "Name=Value" for each non-empty value, LocationID first.
  void GetValues(TStringList& ValueList) const;
  // Copies Source (none: Clear); the location counts as loaded.
  void AssignLocation(const TzvTapiLocation* Source);
  // Takes entry Index of a LINETRANSLATECAPS answer read with APIVersion, then its country
  // (UpdateCountry); a missing answer or entry clears the location.
  void AssignLINELOCATIONENTRY(const TTapiStruct* TranslateCaps, Cardinal Index,
                               Cardinal APIVersion = LocationAPIVersion);
  // Loads the location TAPI names as current; false when TAPI cannot name it. Raises when it
  // names one that cannot be loaded.
  bool LoadCurrent();
  // TAPI's current location ID into LocationID (untouched on failure); TAPI's result.
  Cardinal ReadCurrentLocationID(Cardinal& LocationID);

  bool Available() const { return FAvailable; }
  Cardinal InitError() const { return FInitError; }
  Cardinal LocationID() const { return FLocationID; }
  Cardinal CountryID() const { return FCountryID; }
  const std::string& LocationName() const { return FLocationName; }
  const std::string& CountryCode() const { return FCountryCode; }
  const std::string& CityCode() const { return FCityCode; }
  const std::string& LocalAccessCode() const { return FLocalAccessCode; }
  const std::string& LongDistanceAccessCode() const { return FLongDistanceAccessCode; }
  const std::string& CountryName() const { return FCountryName; }
  const std::string& SameAreaRule() const { return FSameAreaRule; }
  const std::string& LongDistanceRule() const { return FLongDistanceRule; }
  const std::string& InternationalRule() const { return FInternationalRule; }

 protected:
  bool FAvailable = false;
  Cardinal FInitError = 0;  // always 0: failures are returned, not kept
  Cardinal FCountryID = 0;
  std::string FLocationName;
  std::string FCountryCode;
  std::string FCityCode;
  std::string FLocalAccessCode;
  std::string FLongDistanceAccessCode;
  std::string FCountryName;
  std::string FSameAreaRule;
  std::string FLongDistanceRule;
  std::string FInternationalRule;
  Cardinal FLocationID = 0xFFFFFFFF;
};

// The system's current location: loading it asks TAPI which location is current first.
class TzvTapiSystemLocation : public TzvTapiLocation {
 public:
  Cardinal UpdateData() override;
  // Makes location Value TAPI's current one (lineSetCurrentLocation), raising TAPI's error, then
  // loads it.
  void SetLocationID(Cardinal Value);
};

// All of the user's locations, fetched when the list is made.
class TzvTapiLocationList {
 public:
  // Takes the application object's line application handle (0 when TAPI is not initialised)
  // and fetches; see Available and InitError for the outcome.
  TzvTapiLocationList();
  virtual ~TzvTapiLocationList();
  TzvTapiLocationList(const TzvTapiLocationList&) = delete;
  TzvTapiLocationList& operator=(const TzvTapiLocationList&) = delete;

  // Not available, no answer, no locations.
  virtual void Clear();
  // Fetches the locations with lineGetTranslateCapsW. A version TAPI refuses is lowered one step
  // (2.2, 2.0, 1.4, 1.3) and kept for later fetches. On success the locations are updated in
  // place (surplus ones go from the end); on failure they stay as they were. TAPI's result.
  virtual Cardinal UpdateData();
  Cardinal Init(Cardinal LineAppl, Cardinal APIVersion);
  // UpdateData, raising EzvTapiError for a TAPI error.
  void Update();
  // The first location named Value (ASCII letter case ignored) or with that ID; -1 for none.
  int IndexOf(const std::string& Value) const;
  int IndexOfID(Cardinal Value) const;
  // TAPI's dialing-locations dialog (lineTranslateDialogW), raising its error; then Update.
  void ShowDialog(HWND Wnd);

  int Count() const { return static_cast<int>(FItems.size()); }
  // Raise "List index out of bounds (%d)" outside the list.
  TzvTapiLocation* Get(int Index) const;
  void Put(int Index, std::unique_ptr<TzvTapiLocation> Item);
  int Add(std::unique_ptr<TzvTapiLocation> Item);

  bool Available() const { return FAvailable; }
  Cardinal InitError() const { return FInitError; }
  Cardinal APIVersion() const { return FAPIVersion; }
  Cardinal LineAppl() const { return FLineAppl; }
  // The current location's ID; fetches first when the list has no data, and raises when it
  // still has none.
  Cardinal CurrentLocationID();
  // The location TAPI names as current; none when the list has no data (nothing is fetched).
  TzvTapiLocation* CurrentLocation() const;

 private:
  void CheckIndex(int Index) const;

  std::vector<std::unique_ptr<TzvTapiLocation>> FItems;
  TTapiStruct FTRANSLATECAPS;
  Cardinal FLineAppl = 0;
  Cardinal FAPIVersion = LocationAPIVersion;
  bool FAvailable = false;
  Cardinal FInitError = 0;
};

}  // namespace zvtapi
