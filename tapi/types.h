// The value types and event types every part of the library shares.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>

namespace zvtapi {

using Cardinal = uint32_t;
using Integer = int32_t;

// The root of the library's objects, so that events can name any of them as Sender or Causer.
class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TzvTapiErrorEvent =
    std::function<void(TObject* Sender, const std::exception& Error, TObject* Causer)>;

}  // namespace zvtapi
