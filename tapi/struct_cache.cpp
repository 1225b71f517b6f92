#include "tapi/struct_cache.h"

#include <utility>

#include "tapi/errors.h"

namespace zvtapi {

Cardinal TzvTapiStructCache::UpdateData() {
  if (FData.Assigned()) return 0;
  // Fetched into a local buffer and kept only when complete: neither a failed query nor one
  // that raises may leave a partial structure that later reads would take as cached.
  TTapiStruct buffer = AllocTapiStruct(FInitialSize);
  const Cardinal result =
      FetchTapiStruct(buffer, [this](void* structure) { return Query(structure); });
  if (result == 0) {
    FData = std::move(buffer);
    Filled();
  }
  return result;
}

void TzvTapiStructCache::Update() {
  Invalidate();
  const Cardinal result = UpdateData();
  if (IsTapiError(result)) RaiseTapiError(result);
}

void TzvTapiStructCache::Invalidate() {
  // Calls drop their caches on every state change, mostly with nothing cached; leaving the
  // empty holder untouched keeps its memory clean.
  if (FData.Assigned()) FData.Free();
}

void TzvTapiStructCache::Compact() {
  CompactTapiStruct(FData, FInitialSize);
}

const void* TzvTapiStructCache::FetchedData() {
  UpdateData();
  return FData.Data();
}

Cardinal TzvTapiStructCache::ReadDWORD(Cardinal fieldOffset) {
  UpdateData();
  return FData.GetDWORD(fieldOffset);
}

std::string TzvTapiStructCache::ReadString(Cardinal sizeFieldOffset) {
  UpdateData();
  if (!FData.Assigned()) return {};
  return GetTapiString(FData, sizeFieldOffset, 0);
}

std::unique_ptr<TStringList> TzvTapiStructCache::ReadStringList(Cardinal sizeFieldOffset) {
  UpdateData();
  if (!FData.Assigned()) return std::make_unique<TStringList>();
  return GetTapiStringList(FData, sizeFieldOffset);
}

}  // namespace zvtapi
