#include "base/component.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->Insert(this);
}

TComponent::~TComponent() {
  // Each owned component removes itself from owned_ as it goes.
  while (!owned_.empty()) delete owned_.back();
  if (owner_) owner_->Remove(this);
}

void TComponent::Remove(TComponent* component) {
  owned_.erase(std::remove(owned_.begin(), owned_.end(), component), owned_.end());
}
