// The common shape of every capability, status and information object: one TAPI structure
// fetched on the first read, kept until Invalidate, and read field by field through bounds-
// checked readers. A descendant says which TAPI query fills the structure and how large the
// first buffer is; everything else lives here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tapi/string_list.h"
#include "tapi/structures.h"
#include "tapi/types.h"

namespace zvtapi {

class TzvTapiStructCache : public TObject {
 public:
  TzvTapiStructCache(const TzvTapiStructCache&) = delete;
  TzvTapiStructCache& operator=(const TzvTapiStructCache&) = delete;
  ~TzvTapiStructCache() override = default;

  // 0 at once when a structure is cached; otherwise fetches it and returns 0 or the TAPI
  // error. Never raises for a TAPI failure; after one nothing is cached and the next read
  // tries again.
  Cardinal UpdateData();
  // Drops what is cached and fetches again; a TAPI failure is raised as EzvTapiError and
  // leaves the cache empty. Descendants whose refresh keeps a cached structure override it.
  virtual void Update();
  // Drops the cached structure; the next read fetches again.
  virtual void Invalidate();
  // Whether a structure is cached or can be fetched now.
  bool Available() { return UpdateData() == 0; }

  // The cached structure without fetching: null when nothing is cached.
  const void* CachedData() const { return FData.Data(); }
  // Fetches when needed, then the cached structure; null when the fetch failed.
  const void* FetchedData();
  // The holder of the cached structure (empty when nothing is cached).
  const TTapiStruct& Buffer() const { return FData; }

 protected:
  explicit TzvTapiStructCache(Cardinal initialSize) : FInitialSize(initialSize) {}

  // The TAPI query that fills the given block; returns TAPI's result.
  virtual int32_t Query(void* structure) = 0;
  // A fetched structure is now cached.
  virtual void Filled() {}
  // Shrinks the cached block to what the provider used (CompactTapiStruct, never below the
  // first buffer's size); for structures kept by the dozen.
  void Compact();
  // The cached block for descendants that patch fields from messages; empty when none.
  TTapiStruct& CachedBuffer() { return FData; }

  // Readers for descendants: each fetches when needed and gives 0, empty text or an empty list
  // when nothing can be fetched or the field lies outside the structure TAPI returned.
  Cardinal ReadDWORD(Cardinal fieldOffset);
  // UTF-16 text (string format 0) addressed by the size field at sizeFieldOffset and the offset
  // field after it.
  std::string ReadString(Cardinal sizeFieldOffset);
  std::unique_ptr<TStringList> ReadStringList(Cardinal sizeFieldOffset);
  // Typed view of the fixed part after a fetch; null when nothing is cached.
  template <class T>
  const T* FetchedAs() {
    return UpdateData() == 0 ? FData.As<T>() : nullptr;
  }

 private:
  TTapiStruct FData;
  Cardinal FInitialSize;
};

}  // namespace zvtapi
