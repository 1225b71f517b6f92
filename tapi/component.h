// The component base that stands in for the windowing toolkit's: an owner that frees the
// components it owns, a name, and the loading and designing flags with the Loaded notification.
#pragma once

#include <string>
#include <vector>

#include "tapi/types.h"

namespace zvtapi {

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  // Frees the owned components (last first), then leaves the owner's list.
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const { return FComponents.at(static_cast<size_t>(Index)); }

  // Set while the component's properties are restored from a stored form.
  bool Loading() const { return FLoading; }
  // Set while the component sits in a form designer.
  bool Designing() const { return FDesigning; }
  void SetLoading(bool Value) { FLoading = Value; }
  void SetDesigning(bool Value) { FDesigning = Value; }
  // The restore is over: clears the loading flag and lets the component apply what it recorded.
  virtual void Loaded() { FLoading = false; }

 private:
  TComponent* FOwner;
  std::string FName;
  std::vector<TComponent*> FComponents;
  bool FLoading = false;
  bool FDesigning = false;
};

}  // namespace zvtapi
